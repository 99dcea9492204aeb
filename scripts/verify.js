// Verifies the signatures of a PDF, as a page would, and prints one line per
// signature: field name, status, signer subject, signing time (UTC), revision,
// error, separated by tabs. Exit status 0 when the document verified.
// args: IN.pdf [--options N]
function usage(message) {
    throw new Error((message ? message + "\n" : "") + "usage: verify IN.pdf [--options N]");
}

var file;
var options;
for (var i = 0; i < args.length; i++) {
    if (args[i] === "--options") {
        if (i + 1 >= args.length || !/^-?[0-9]+$/.test(args[i + 1])) usage("--options needs a whole number");
        options = parseInt(args[++i], 10);
    } else if (args[i].indexOf("--") === 0 || file !== undefined) {
        usage("unexpected argument " + args[i]);
    } else {
        file = args[i];
    }
}
if (file === undefined) usage();

// A bare file name would name a file in the home folder (as for a web page);
// on the command line it names one in the current folder.
function local(path) {
    return path.indexOf("/") >= 0 ? path : "./" + path;
}
file = local(file);

// Seconds since 1970 in the low 32 bits, as the signature list gives them.
function isoTime(seconds) {
    if (seconds < 0) seconds += 4294967296;
    return new Date(seconds * 1000).toISOString().replace(/\.\d+Z$/, "Z");
}

var request = plugin.createPropObject();
request.file = file;
if (request.pages <= 0) throw new Error("cannot load " + file + " (error " + request.pages + ")");
if (options !== undefined) request.options = options;

var result = plugin.verify(request);
var list = result.signatures;
if (list !== null) {
    for (var n = 0; n < list.sigCount; n++) {
        list.loadSignature(n);
        var signer = list.certificate;
        print([list.sigId, list.status, signer !== null ? signer.subject : "", isoTime(list.signingTime),
               list.docRevision, list.error].join("\t"));
    }
}
if (result.error !== 1) {
    print("verification failed: error " + result.error);
    exit(1);
}
