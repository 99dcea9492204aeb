// Documents a page may be handed that were tampered with or made to trip the
// plug-in: every answer stays honest and nothing is left behind.
// args: FIXTURES-FOLDER (keychain in use, sample.pdf, seal.jpg)
var failures = 0;
function check(ok, what) { if (!ok) { failures++; print("FAIL " + what); } }
function eq(actual, expected, what) {
    check(actual === expected, what + ": got " + JSON.stringify(actual) + ", expected " + JSON.stringify(expected));
}
var dir = args[0];

function signer() {
    var info = plugin.createCertInfoObject();
    info.subject = "Pendrel Test Signer";
    eq(info.search(), true, "search finds the test signer");
    return info;
}

function fed(base64) {
    var request = plugin.createPropObject();
    for (var at = 0; at < base64.length; at += 4000) request.feedBase64Data(base64.substring(at, at + 4000));
    request.feedBase64Data("");
    return request;
}

// The signed copy of a result as Base64 without line breaks.
function streamed(result) {
    var pieces = [];
    for (var guard = 0; guard < 100000; guard++) {
        var piece = result.readStreamData();
        if (piece === "") break;
        pieces.push(piece);
    }
    return pieces.join("").replace(/\n/g, "");
}

// Bytes of a document, searched and changed as ASCII text.
function bytesOf(base64) { return new Uint8Array(Duktape.dec("base64", base64)); }
function find(bytes, text, from) {
    for (var i = from || 0; i + text.length <= bytes.length; i++) {
        var j = 0;
        while (j < text.length && bytes[i + j] === text.charCodeAt(j)) j++;
        if (j === text.length) return i;
    }
    return -1;
}
function put(bytes, at, text) { for (var j = 0; j < text.length; j++) bytes[at + j] = text.charCodeAt(j); }
function textAt(bytes, at, length) {
    var s = "";
    for (var j = 0; j < length; j++) s += String.fromCharCode(bytes[at + j]);
    return s;
}

// The one entry of a verification.
function verifiedEntry(request, options, what) {
    request.options = options;
    var result = plugin.verify(request);
    eq(result.error, 1, "verification of " + what);
    var list = result.signatures;
    eq(list.sigCount, 1, "one signature in " + what);
    list.loadSignature(0);
    return list;
}

// A signed copy with a field name beyond PDFDocEncoding and a plain reason.
var name = "Zo\u00eb \u041f\u043e\u0434\u043f\u0438\u0441\u044c \ud83d\ude00";
var request = fed(readFileBase64(dir + "/sample.pdf"));
eq(request.pages, 1, "pages of the sample");
request.certificate = signer();
request.sigId = name;
request.reason = "OXK";
request.location = "Bern";
var signedResult = plugin.sign(request);
eq(signedResult.error, 1, "signature");
var signed = streamed(signedResult);

// 1. The field is found again under the name it was given.
var entry = verifiedEntry(fed(signed), 0, "the signed copy");
eq(entry.sigId, name, "field name read back");
eq(entry.status.charAt(2), "1", "the signature holds");

// 2. A reason with an unpaired surrogate, a location that is only the byte
//    order mark: the texts read with U+FFFD, also with the status window.
var bytes = bytesOf(signed);
var reason = find(bytes, "/Reason<FEFF004F0058004B>");
check(reason > 0, "the reason as written");
put(bytes, reason, "/Reason<FEFF004FD800004B>");
var location = find(bytes, "/Location<FEFF004200650072006E>");
check(location > 0, "the location as written");
put(bytes, location, "/Location<FEFF>" + new Array(17).join(" "));
entry = verifiedEntry(fed(Duktape.enc("base64", bytes)), 0x10, "broken texts");
eq(entry.reason, "O\ufffdK", "reason with a broken surrogate");
eq(entry.location, "", "location of the mark alone");
eq(entry.contact, "", "no contact");
eq(entry.status.charAt(2), "0", "the texts were covered");

// 3. A byte range reaching past the end of the file is a failed signature.
bytes = bytesOf(signed);
var range = find(bytes, "/ByteRange[");
var contents = find(bytes, "/Contents", range);
var numbers = textAt(bytes, range + 11, contents - range - 11).replace(/[\] ]+$/, "").split(" ");
numbers[3] = String(Number(numbers[3]) + 1000);
var array = "[" + numbers.join(" ") + "]";
while (array.length < contents - range - 10) array += " ";
put(bytes, range + 10, array);
entry = verifiedEntry(fed(Duktape.enc("base64", bytes)), 0, "a range past the end");
eq(entry.status.charAt(2), "0", "a range past the end fails");
check(entry.certificate !== null, "its signer is named");

// 4. A visible signature on a page the document does not have: refused,
//    nothing signed.
[0, -1, 2].forEach(function (page) {
    var onPage = fed(readFileBase64(dir + "/sample.pdf"));
    onPage.certificate = signer();
    var visual = onPage.createVisualRepObject(page, 100, 100, 600, 200, 255, 255, 255);
    eq(visual.setFont("DejaVu Sans", 30, 0), true, "setFont on a raster");
    onPage.visual = visual;
    var refused = plugin.sign(onPage);
    eq(refused.error, -52, "signature on page " + page);
    eq(refused.saveFile(dir + "/never.pdf"), false, "no signed copy for page " + page);
});
check(readFileBase64(dir + "/sample.pdf").length > 0, "the sample is still there");

// 5. A rectangle without area has no raster: drawing says so.
var flat = fed(readFileBase64(dir + "/sample.pdf"));
flat.certificate = signer();
var none = flat.createVisualRepObject(1, 100, 100, 0, 200, 255, 255, 255);
eq(none.setFont("DejaVu Sans", 30, 0), false, "setFont without a raster");
eq(none.putText("text"), false, "putText without a raster");
eq(none.loadImage(readFileBase64(dir + "/seal.jpg")), true, "a picture still loads");
eq(none.putImage(100, 100), false, "putImage without a raster");

if (failures > 0) exit(1);
print("PASS");
