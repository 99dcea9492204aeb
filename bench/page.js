// One operation of a page through the plug-in, timed inside the page with
// Date.now(); prints "<seconds> <bytes>" for the timed part. Run by
// bench/sign-verify.sh under pendrel-host, one operation per process, so
// that the process's peak memory is the operation's.
//   sign IN OUT SUBJECT       load IN, sign, saveFile(OUT)   (times sign + saveFile)
//   verify IN                 load IN, verify                (times verify)
//   feed DIR                  feed DIR/head.b64, DIR/count times DIR/piece.b64, DIR/tail.b64
//                             and the end                    (times the feed)
//   read IN SUBJECT           load IN, sign, readStreamData to the end (times the reading)
//   load URL                  file = URL                     (times the load)
var mode = args[0];

function now() {
    return Date.now() / 1000;
}

function load(file) {
    var request = plugin.createPropObject();
    request.file = file;
    if (request.pages <= 0) throw new Error("cannot load " + file + " (error " + request.pages + ")");
    return request;
}

function signed(file, subject) {
    var request = load(file);
    var signer = plugin.createCertInfoObject();
    signer.subject = subject;
    if (!signer.search()) throw new Error("no certificate " + subject);
    request.certificate = signer;
    request.options = 0x20 | 0x40;  // the document work alone: no certificate tests
    return request;
}

function report(seconds, bytes) {
    print(seconds.toFixed(3) + " " + bytes);
}

if (mode === "sign") {
    var request = signed(args[1], args[3]);
    var start = now();
    var result = plugin.sign(request);
    if (result.error !== 1) throw new Error("sign failed: " + result.error);
    if (!result.saveFile(args[2])) throw new Error("saveFile failed: " + result.error);
    report(now() - start, 0);
} else if (mode === "verify") {
    var request = load(args[1]);
    var start = now();
    var result = plugin.verify(request);
    if (result.error !== 1) throw new Error("verify failed: " + result.error);
    var list = result.signatures;
    for (var i = 0; i < list.sigCount; i++) {
        list.loadSignature(i);
        if (list.status.charAt(2) !== "1") throw new Error("signature " + i + " does not verify");
    }
    report(now() - start, list.sigCount);
} else if (mode === "feed") {
    var dir = args[1];
    var head = readText(dir + "/head.b64");
    var piece = readText(dir + "/piece.b64");
    var tail = readText(dir + "/tail.b64");
    var count = parseInt(readText(dir + "/count"), 10);
    var request = plugin.createPropObject();
    var start = now();
    request.feedBase64Data(head);
    for (var i = 0; i < count; i++) request.feedBase64Data(piece);
    request.feedBase64Data(tail);
    request.feedBase64Data("");
    var seconds = now() - start;
    if (request.pages !== 1) throw new Error("fed document does not load: " + request.pages);
    report(seconds, head.length + count * piece.length + tail.length);
} else if (mode === "read") {
    var request = signed(args[1], args[2]);
    var result = plugin.sign(request);
    if (result.error !== 1) throw new Error("sign failed: " + result.error);
    var start = now();
    var total = 0;
    for (;;) {
        var text = result.readStreamData();
        if (text.length === 0) break;
        total += text.length;
    }
    report(now() - start, total);
} else if (mode === "load") {
    var start = now();
    load(args[1]);
    report(now() - start, 0);
} else {
    throw new Error("usage: page.js sign|verify|feed|read|load ...");
}
