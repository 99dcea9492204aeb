// Verifies the signatures of a PDF, as a page would, and prints one line per
// signature: field name, status, signer subject, signing time (UTC, or
// "unknown"), revision, error and what failed in words ("valid" when
// nothing did), separated by tabs.
// Exit status: 0 when every signature is intact, trusted and not revoked and
// the newest one covers the whole file; 1 otherwise (also for a document
// without signatures); 2 for usage errors and documents that cannot be read.
// args: IN.pdf [--options N]
(0, eval)(readText(scriptPath.replace(/[^\/]*$/, "") + "cli.js"));

var NAME = "verify";
var USAGE = "usage: verify IN.pdf [--options N]\n" +
    "  --options N  request option bits (8: check revocation lists)";
var kCheckRevocation = 8;
var kNoDistributionPoint = -34;
var kNoURI = -35;

// A signing time in seconds since 1970 (-1: the signature names none).
function isoTime(seconds) {
    if (seconds === -1) return "unknown";
    return new Date(seconds * 1000).toISOString().replace(/\.\d+Z$/, "Z");
}

function plural(count, word) {
    return count + " " + word + (count === 1 ? "" : "s");
}

// What failed for one signature, in words; empty when nothing did.
function problems(entry, options, newest, revisionCount) {
    var found = [];
    var status = entry.status;
    if (status.charAt(2) !== "1") found.push("signature broken: the signed bytes were changed");
    if (status.charAt(1) === "0") {
        found.push("signer not trusted: the certificate chain does not lead to a trusted root");
    } else if (status.charAt(1) !== "1") {
        found.push("signer not trusted: the certificate chain could not be checked");
    }
    if (status.charAt(0) === "0") {
        found.push("signer certificate expired or not yet valid");
    } else if (status.charAt(0) !== "1") {
        found.push("signer certificate validity could not be checked");
    }
    if (status.charAt(3) === "0") {
        found.push("signer certificate revoked");
    } else if (status.charAt(3) !== "1" && (options & kCheckRevocation) !== 0 &&
               entry.error !== kNoDistributionPoint && entry.error !== kNoURI) {
        found.push("revocation status unknown: no revocation list could be obtained");
    }
    if (entry.docRevision < 0) {
        found.push("signed bytes are no revision of the document");
    } else if (entry === newest && revisionCount > 0 && entry.docRevision < revisionCount - 1) {
        found.push("changed after signing: " + plural(revisionCount - 1 - entry.docRevision, "later revision"));
    }
    return found;
}

cli.run(NAME, function () {
    var file;
    var options = 0;
    for (var i = 0; i < args.length; i++) {
        if (args[i] === "--help" || args[i] === "-h") {
            cli.help(USAGE);
        } else if (args[i] === "--options") {
            if (i + 1 >= args.length) cli.usage(NAME, USAGE, "--options needs a value");
            options = cli.number(NAME, USAGE, args[++i], "--options");
        } else if (args[i].indexOf("-") === 0 && args[i] !== "-") {
            cli.usage(NAME, USAGE, "unknown option " + args[i]);
        } else if (file !== undefined) {
            cli.usage(NAME, USAGE, "unexpected argument " + args[i]);
        } else {
            file = args[i];
        }
    }
    if (file === undefined) cli.usage(NAME, USAGE, "no document named");

    var request = cli.load(NAME, file);
    request.options = options;
    var result = plugin.verify(request);
    var list = result.signatures;
    if (result.error === -63) cli.exit(cli.kFailed, file + ": no signature", true);
    if (result.error !== 1 || list === null) {
        cli.exit(cli.kUsage, NAME + ": " + file + ": the signatures cannot be read (error " + result.error + ")");
    }

    var entries = [];
    var newest = null;
    for (var n = 0; n < list.sigCount; n++) {
        list.loadSignature(n);
        var signer = list.certificate;
        var entry = {
            sigId: list.sigId,
            status: list.status,
            subject: signer !== null ? signer.subject : "",
            signingTime: list.signingTime,
            docRevision: list.docRevision,
            error: list.error,
        };
        entries.push(entry);
        if (newest === null || entry.docRevision > newest.docRevision) newest = entry;
    }
    var revisionCount = list.revisionCount;
    var failed = false;
    for (var k = 0; k < entries.length; k++) {
        var e = entries[k];
        var found = problems(e, options, newest, revisionCount);
        if (found.length > 0) failed = true;
        print([e.sigId, e.status, e.subject, isoTime(e.signingTime), e.docRevision, e.error,
               found.length > 0 ? found.join("; ") : "valid"].join("\t"));
    }
    return failed ? cli.kFailed : cli.kOk;
});
