// The whole road from a page: an invisible and a visible signature, the
// signed document read back in pieces and saved, a second signature on the
// signed copy, and the verification of both walked with loadSignature.
// args: FIXTURES-FOLDER (keychain in use, sample.pdf, seal.jpg)
var failures = 0;
function check(ok, what) { if (!ok) { failures++; print("FAIL " + what); } }
function eq(actual, expected, what) {
    check(actual === expected, what + ": got " + JSON.stringify(actual) + ", expected " + JSON.stringify(expected));
}
function throws(fn, what) {
    try { fn(); } catch (e) { return; }
    check(false, what + ": nothing thrown");
}
var dir = args[0];

function signer() {
    var info = plugin.createCertInfoObject();
    info.subject = "Pendrel Test Signer";
    eq(info.search(), true, "search finds the test signer");
    eq(info.loaded, true, "loaded after the search");
    check(info.subject.indexOf("Pendrel Test Signer") >= 0, "subject of the found certificate: " + info.subject);
    return info;
}

// The request's document fed as Base64 in pieces that split groups.
function fedRequest(path) {
    var request = plugin.createPropObject();
    var text = readFileBase64(path);
    var sizes = [1, 3, 5, 70, 2, 1000];
    var at = 0, n = 0;
    while (at < text.length) {
        var size = sizes[n++ % sizes.length];
        request.feedBase64Data(text.substring(at, at + size));
        at += size;
    }
    request.feedBase64Data("");
    eq(request.pages, 1, "pages after feeding " + path);
    return request;
}

// Reads the whole signed copy with readStreamData and compares it with the
// bytes saveFile wrote.
function streamEqualsSaved(result, path) {
    var pieces = [];
    for (var guard = 0; guard < 100000; guard++) {
        var piece = result.readStreamData();
        if (piece === "") break;
        pieces.push(piece);
    }
    check(pieces.length > 1, "the signed copy comes in several pieces: " + pieces.length);
    eq(result.saveFile(path), true, "saveFile " + path);
    var streamed = pieces.join("").replace(/\n/g, "");
    check(streamed === readFileBase64(path), "readStreamData pieces equal the saved bytes");
}

// 1. Invisible signature, document fed in pieces.
var first = fedRequest(dir + "/sample.pdf");
first.certificate = signer();
first.reason = "Approved: Grüße";
first.location = "Test bench";
first.contact = "tester@example.org";
first.sigId = "FirstSignature";
eq(first.visual, null, "no visual object for an invisible signature");
var signed1 = plugin.sign(first);
eq(signed1.error, 1, "first signature");
streamEqualsSaved(signed1, dir + "/once.pdf");

// 2. Visible signature on the signed copy, loaded by file name.
var second = plugin.createPropObject();
second.file = dir + "/once.pdf";
eq(second.pages, 1, "pages of the signed copy");
var info = signer();
second.certificate = info;
second.sigId = "SecondSignature";
var visual = second.createVisualRepObject(1, 254, 500, 800, 250, 255.9, 240, 200);
check(visual !== null, "createVisualRepObject with a certificate");
eq(second.visual, null, "the new visual object is not assigned by itself");
throws(function () { visual.setFont("Sans", "30", 0); }, "setFont with a string size");
throws(function () { visual.setFont(null, 30, 0); }, "setFont with a null face");
throws(function () { visual.setFont("Sans", 30); }, "setFont with two arguments");
throws(function () { visual.putImage("100", 100); }, "putImage with a string");
throws(function () { visual.putText(1); }, "putText with a number");
throws(function () { visual.loadImage(); }, "loadImage without data");
eq(visual.loadImage("not a picture"), false, "loadImage of text that is no JPEG");
eq(visual.loadImage(readFileBase64(dir + "/seal.jpg")), true, "loadImage of the JPEG");
eq(visual.setFont("Sans", npDouble(35.7), 0), true, "setFont");
visual.posX = 20;
visual.posY = 20;
visual.putImage(100, 100);
visual.posX = 300;
visual.posY = npDouble(20.9);
eq(visual.posY, 20, "posY truncated");
visual.putText("Signed by $Subject");
visual.posY = 70;
visual.putText("$Time \uD83D\uDE00");
second.visual = visual;
visual.posX = 4321;
eq(second.visual.posX, 4321, "visual holds the visual object");
var signed2 = plugin.sign(second);
eq(signed2.error, 1, "second signature");
eq(signed2.saveFile(dir + "/twice.pdf"), true, "saveFile of the twice-signed copy");
throws(function () { signed2.saveFile(); }, "saveFile without a path");
throws(function () { signed2.saveFile(1); }, "saveFile with a number");
throws(function () { signed2.readStreamData(1); }, "readStreamData with an argument");
// error is a mapped int: a page that sets it while streaming stops the
// stream, and setting it back lets the stream go on.
check(signed2.readStreamData().length > 0, "first piece of the second copy");
signed2.error = npDouble(0.5);
eq(signed2.error, 0, "error after 0.5");
throws(function () { signed2.readStreamData(); }, "readStreamData after error = 0");
signed2.error = 1;
check(signed2.readStreamData().length > 0, "readStreamData after error = 1");

// 3. Verification of the twice-signed document.
var check2 = plugin.createPropObject();
check2.file = dir + "/twice.pdf";
var verified = plugin.VERIFY(check2);
eq(verified.error, 1, "verification of the twice-signed document");
var list = verified.signatures;
check(list !== null, "signatures after verification");
list.loadSignature(1);
eq(verified.signatures.sigId, list.sigId, "signatures is the same object each time (selection shared)");
list.loadSignature(0);
eq(list.sigCount, 2, "two signatures");
var names = {};
var revisions = {};
for (var i = 0; i < list.sigCount; i++) {
    list.loadSignature(i);
    names[list.sigId] = i;
    revisions[list.sigId] = list.docRevision;
    eq(list.status.length, 4, "status text of " + list.sigId);
    eq(list.status.charAt(2), "1", "signature check of " + list.sigId + " (" + list.status + ")");
    var cert = list.certificate;
    check(cert !== null, "certificate of " + list.sigId);
    if (cert !== null) check(cert.subject.indexOf("Pendrel Test Signer") >= 0, "signer of " + list.sigId);
    check(Math.abs(list.signingTime - Date.now() / 1000) < 3600, "signing time of " + list.sigId);
}
check(names.FirstSignature !== undefined && names.SecondSignature !== undefined, "both field names listed");
check(revisions.FirstSignature < revisions.SecondSignature,
      "the first signature covers an earlier revision: " + JSON.stringify(revisions));
list.loadSignature(names.FirstSignature);
eq(list.reason, "Approved: Grüße", "reason of the first signature");
eq(list.location, "Test bench", "location of the first signature");
eq(list.contact, "tester@example.org", "contact of the first signature");
list.loadSignature(2);
eq(list.sigId, "FirstSignature", "loadSignature(count) keeps the selection");
list.loadSignature(-1);
eq(list.sigId, "FirstSignature", "loadSignature(-1) keeps the selection");
throws(function () { list.loadSignature(npDouble(1)); }, "loadSignature with a double");
throws(function () { list.loadSignature(); }, "loadSignature without an index");
list.loadSignature(names.SecondSignature);
eq(list.sigId, "SecondSignature", "loadSignature with an int32 index");
throws(function () { list.sigCount = 3; }, "sigCount is read only");

// The list outlives the result that gave it.
verified = null;
eq(list.sigCount, 2, "the list held after the result is dropped");

// 4. A document without signatures.
var plain = plugin.createPropObject();
plain.file = dir + "/sample.pdf";
var none = plugin.verify(plain);
check(none.error !== 1, "verifying an unsigned document is no success: " + none.error);
var empty = none.signatures;
if (empty !== null) {
    eq(empty.sigCount, 0, "no signatures listed");
    ["sigId", "reason", "location", "contact", "signingTime", "docRevision", "error", "status", "certificate"]
        .forEach(function (name) { eq(empty[name], null, name + " on an empty list"); });
}

if (failures > 0) exit(1);
print("PASS");
