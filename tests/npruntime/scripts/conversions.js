// Property conversions of the request, certificate-info and result objects,
// the read-only version, and case-insensitive names.
var failures = 0;
function check(ok, what) { if (!ok) { failures++; print("FAIL " + what); } }
function eq(actual, expected, what) {
    check(actual === expected, what + ": got " + JSON.stringify(actual) + ", expected " + JSON.stringify(expected));
}
function throws(fn, what) {
    try { fn(); } catch (e) { return; }
    check(false, what + ": nothing thrown");
}

var request = plugin.createPropObject();
check(request !== null, "createPropObject gives an object");
check(plugin.createPropObject() !== request, "createPropObject gives a fresh object each time");
eq(plugin.CREATEPROPOBJECT() === null, false, "CREATEPROPOBJECT reaches createPropObject");

// int properties: int32 as is, double truncated toward zero, other types zero and fail.
[["options", 3.9, 3], ["options", -3.9, -3], ["lang", npDouble(7), 7], ["lang", 2, 2]].forEach(function (c) {
    request[c[0]] = c[1];
    eq(request[c[0]], c[2], c[0] + " = " + c[1]);
});
request.options = 5;
throws(function () { request.options = "7"; }, "options = '7'");
eq(request.options, 0, "options after a string");
request.lang = 5;
throws(function () { request.LANG = true; }, "lang = true");
eq(request.lang, 0, "lang after a bool");

// string properties: a non-string clears and succeeds.
request.sigId = "Field 1";
eq(request.SIGID, "Field 1", "sigId read back in another case");
request.sigId = 5;
eq(request.sigId, "", "sigId after a number");
request.sigId = null;
eq(request.sigId, "", "sigId after null");

// wide string properties: UTF-8 in and out unchanged.
["Grüße, 世界", "", "plain"].forEach(function (text) {
    request.reason = text;
    eq(request.reason, text, "reason " + JSON.stringify(text));
    request.Location = text;
    eq(request.location, text, "location " + JSON.stringify(text));
    request.contact = text;
    eq(request.CONTACT, text, "contact " + JSON.stringify(text));
});
request.reason = 12;
eq(request.reason, "", "reason after a number");

// pages is read only; file needs a string.
throws(function () { request.pages = 3; }, "assigning pages");
throws(function () { request.file = 42; }, "file = 42");
eq(request.pages, 0, "pages before any load");

// Certificate-info mapped properties.
var info = plugin.createCertInfoObject();
check(info !== null, "createCertInfoObject gives an object");
throws(function () { plugin.createCertInfoObject(1); }, "createCertInfoObject(1)");
eq(info.loaded, false, "loaded at the start");
info.loaded = true;
eq(info.loaded, true, "loaded = true");
throws(function () { info.loaded = 1; }, "loaded = 1");
eq(info.loaded, false, "loaded after 1");
info.error = npDouble(-2.5);
eq(info.error, -2, "error = -2.5");
throws(function () { info.error = "3"; }, "error = '3'");
eq(info.error, 0, "error after a string");
info.subject = "Someone";
eq(info.SUBJECT, "Someone", "subject");
info.subject = 1;
eq(info.subject, "", "subject after a number");
["certHash", "certHash64", "serialNumber", "issuer", "subjectDN", "status"].forEach(function (name) {
    info[name] = "x" + name;
    eq(info[name.toUpperCase()], "x" + name, name);
});

// Version: read only, in any case.
eq(plugin.VersionNumber, "1.2.27", "versionNumber");
throws(function () { plugin.versionNumber = "2"; }, "assigning versionNumber");
eq(plugin.versionNumber, "1.2.27", "versionNumber after the assignment");

if (failures > 0) exit(1);
print("PASS");
