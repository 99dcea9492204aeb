// Argument counts and classes of the main object's, request's, visual
// object's and certificate-info object's members; pages codes; policies.
// args: SAMPLE.pdf
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
var info = plugin.createCertInfoObject();
throws(function () { plugin.createPropObject(1); }, "createPropObject(1)");

// sign and verify take exactly one request object.
["sign", "verify", "SIGN", "Verify"].forEach(function (name) {
    throws(function () { plugin[name](); }, name + "()");
    throws(function () { plugin[name](request, request); }, name + "(a, b)");
    throws(function () { plugin[name](null); }, name + "(null)");
    throws(function () { plugin[name](undefined); }, name + "(undefined)");
    throws(function () { plugin[name](info); }, name + "(certificate-info object)");
    throws(function () { plugin[name]({}); }, name + "(plain object)");
    throws(function () { plugin[name]("file.pdf"); }, name + "(string)");
});

// certificate and visual take only objects of their own class.
eq(request.certificate, null, "certificate at the start");
eq(request.visual, null, "visual at the start");
// The host gives a new wrapper for each answer: identity shows through a
// property written on one wrapper and read on the other.
function sameCertInfo(a, b) {
    if (a === null || b === null) return false;
    a.subject = "marker " + Math.random();
    return a.subject === b.subject;
}
request.certificate = info;
check(sameCertInfo(request.certificate, info), "certificate holds the certificate-info object");
[null, {}, request, 1, "x"].forEach(function (bad) {
    throws(function () { request.certificate = bad; }, "certificate = " + JSON.stringify(bad));
    check(sameCertInfo(request.certificate, info), "certificate kept after a refused assignment");
    throws(function () { request.visual = bad; }, "visual = " + JSON.stringify(bad));
    eq(request.visual, null, "visual kept after a refused assignment");
});
throws(function () { request.visual = info; }, "visual = certificate-info object");

// createVisualRepObject: eight numbers, and null without a certificate.
var fresh = plugin.createPropObject();
eq(fresh.createVisualRepObject(1, 10, 10, 500, 200, 255, 255, 255), null, "visual without certificate-info object");
eq(request.createVisualRepObject(1, 10, 10, 500, 200, 255, 255, 255), null,
   "visual with a certificate-info object that holds no certificate");
eq(request.createVisualRepObject(npDouble(1), 10.5, -10.5, 500, 200, 255.9, 0, 0), null,
   "doubles are accepted");
throws(function () { request.createVisualRepObject(1, 10, 10, 500, 200, 255, 255); }, "seven arguments");
throws(function () { request.createVisualRepObject(1, 10, 10, 500, 200, 255, 255, 255, 0); }, "nine arguments");
throws(function () { request.createVisualRepObject(1, "10", 10, 500, 200, 255, 255, 255); }, "a string argument");
throws(function () { request.createVisualRepObject(1, 10, 10, 500, 200, 255, 255, null); }, "a null argument");

// feedBase64Data: one string.
throws(function () { request.feedBase64Data(42); }, "feedBase64Data(42)");
throws(function () { request.feedBase64Data(); }, "feedBase64Data()");
throws(function () { request.feedBase64Data("a", "b"); }, "feedBase64Data(a, b)");

// pages codes.
var doc = plugin.createPropObject();
doc.file = "";
eq(doc.pages, -1, "pages after file = ''");
doc.file = args[0];
eq(doc.pages, 1, "pages after a good load");
eq(doc.file, args[0], "file read back");
doc.file = args[0] + ".missing";
check(doc.pages < 0, "pages after loading a missing file is an error code: " + doc.pages);
doc.file = "PDF:" + args[0];
eq(doc.pages, -2, "pages after a refused name");
var long = "";
while (long.length <= 512) long += "/x";
doc.file = long;
eq(doc.pages, -2, "pages after an over-long name");

// Policies: two arguments, names without regard to case, first value stays.
throws(function () { info.getPolicy("cas"); }, "getPolicy with one argument");
throws(function () { info.getPolicy(1, 0); }, "getPolicy with a number as name");
eq(info.getPolicy("cas", 0), "", "getPolicy of an unset policy");
info.setPolicy("CAS", "Some CA");
eq(info.getPolicy("cas", 0), "Some CA", "getPolicy after setPolicy in another case");
throws(function () { info.setPolicy("lang", 1); }, "setPolicy with a number value");
throws(function () { info.setPolicy("lang"); }, "setPolicy with one argument");
info.setPolicy("lang", "1");
eq(info.getPolicy("LANG", null), "1", "lang policy");
info.setPolicy("CheckKeyUsage", "true");
info.setPolicy("CHECKKEYUSAGE", "false");
eq(info.getPolicy("checkkeyusage", 0), "true", "the first value stays in force");
eq(info.search(1, 2, 3), false, "search with arguments behaves as search(): nothing matches 'Some CA'");

// Unknown entries and the failing framework operations.
throws(function () { request.noSuchMethod(); }, "unknown method");
throws(function () { request(); }, "calling the object itself");

if (failures > 0) exit(1);
print("PASS");
