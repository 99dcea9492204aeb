// What the command-line page scripts (sign.js, verify.js) share: exit
// statuses, one-line messages on standard error as other Unix tools give
// them, and the reasons a document did not load, in words.
// Loaded by those scripts with: (0, eval)(readText(scriptPath.replace(/[^\/]*$/, "") + "cli.js"));

var cli = {
    kOk: 0,
    kFailed: 1,
    kUsage: 2,  // also a document that cannot be read
};

// Thrown to end the command: `message` goes to standard error (standard
// output with toStdout), then the script exits with `status`.
function CliExit(status, message, toStdout) {
    this.status = status;
    this.message = message;
    this.toStdout = toStdout === true;
}

cli.exit = function (status, message, toStdout) {
    throw new CliExit(status, message, toStdout);
};

// Runs main() and exits with the status it returns. An unexpected script
// error becomes one line "NAME: message" (no stack trace) and status 1.
cli.run = function (name, main) {
    var status;
    try {
        status = main();
    } catch (e) {
        if (e instanceof CliExit) {
            if (e.message) (e.toStdout ? print : printError)(e.message);
            status = e.status;
        } else {
            printError(name + ": " + (e instanceof Error ? e.message : String(e)));
            status = cli.kFailed;
        }
    }
    exit(status === undefined ? cli.kOk : status);
};

// --help: the usage on standard output, status 0. Wrong usage: what was
// wrong and the usage on standard error, status 2.
cli.help = function (usage) {
    cli.exit(cli.kOk, usage, true);
};
cli.usage = function (name, usage, problem) {
    cli.exit(cli.kUsage, (problem ? name + ": " + problem + "\n" : "") + usage);
};

cli.isUrl = function (path) {
    return /^[a-zA-Z][a-zA-Z0-9+.-]*:\/\//.test(path) && !/^file:\/\//i.test(path);
};

// A bare file name would name a file in the home folder (as for a web page);
// on the command line it names one in the current folder.
cli.local = function (path) {
    return path.indexOf("/") >= 0 ? path : "./" + path;
};

// Why the document `shown` (opened as `path`) did not load, given the
// request's load code: "cannot read x.pdf: no such file",
// "x.pdf: PDF version 1.7 not supported", ...
cli.loadFailure = function (shown, path, code) {
    if (code === -77) return shown + ": a web page may load only documents of its own site";
    if (cli.isUrl(path)) {
        if (code === -6) return "cannot download " + shown;
        if (code === -5) return "cannot download " + shown + ": no working file can be made";
    } else {
        if (code === -5) return "cannot read " + shown + ": no working file can be made";
        var head;
        var local = path;
        if (/^file:\/\//i.test(local)) {
            local = local.substring(7);
            try {
                local = decodeURIComponent(local);
            } catch (e) {
                // not escaped text: taken as it is
            }
        }
        try {
            head = readHead(local, 1024);
        } catch (e) {
            return "cannot read " + shown + ": " + e.message;
        }
        if (head.length === 0) return shown + ": empty file";
        var version = /^%PDF-(\d+\.\d+)/.exec(head);
        if (version === null) return shown + ": not a PDF document";
        if (code === -58) return shown + ": PDF version " + version[1] + " not supported";
    }
    if (code === 0) return shown + ": the document has no pages";
    if (code === -2) return shown + ": the name is too long or not allowed";
    if (code === -59) return shown + ": too large (documents of 2 GiB or more are not supported)";
    if (code === -7) return shown + ": damaged PDF document (its cross-reference table cannot be read)";
    return shown + ": damaged PDF document (error " + code + ")";
};

// Loads `file` into a new request; a document that does not load ends the
// command with status 2.
cli.load = function (name, file) {
    var request = plugin.createPropObject();
    var path = cli.isUrl(file) ? file : cli.local(file);
    request.file = path;
    var pages = request.pages;
    if (pages <= 0) cli.exit(cli.kUsage, name + ": " + cli.loadFailure(file, path, pages));
    return request;
};

// A whole number for an option, or a usage error.
cli.number = function (name, usage, text, what) {
    if (!/^-?[0-9]+$/.test(text)) cli.usage(name, usage, what + " must be a whole number: " + text);
    return parseInt(text, 10);
};
