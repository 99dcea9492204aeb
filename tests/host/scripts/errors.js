// Calls the plug-in answers with false become script errors.
var failures = 0;
function check(ok, what) { if (!ok) { failures++; print("FAIL " + what); } }
function eq(actual, expected, what) {
    check(actual === expected, what + ": got " + JSON.stringify(actual) + ", expected " + JSON.stringify(expected));
}
function throws(fn, text, what) {
    try { fn(); } catch (e) {
        check(e instanceof Error && String(e).indexOf(text) >= 0, what + ": threw " + e);
        return;
    }
    check(false, what + ": nothing thrown");
}

throws(function () { plugin.fail(); }, "calling method 'fail' of a plug-in object failed", "method answering false");
throws(function () { plugin.throwMessage("Nope: ü 😀"); }, "Nope: ü 😀", "exception set by the plug-in");
throws(function () { plugin.typeOf(); }, "typeOf", "wrong argument count");
throws(function () { plugin.readOnly = "x"; }, "setting property 'readOnly'", "read-only property");
plugin.count = 12;
throws(function () { plugin.count = "7"; }, "setting property 'count'", "wrong type for an int property");
eq(plugin.count, 12, "a refused write changes nothing");
throws(function () { plugin.unknownThing = 1; }, "no property 'unknownThing'", "unknown property");
throws(function () { delete plugin.count; }, "removing property 'count'", "refused removal");
throws(function () { readText("/nonexistent/pendrel/file"); }, "cannot read", "readText of a missing file");
throws(function () { readFileBase64(5); }, "must be a string", "readFileBase64 without a path");
throws(function () { writeText("/nonexistent/pendrel/file", "x"); }, "cannot write", "writeText into a missing folder");
var child = plugin.createChild();
throws(function () { plugin.throwCpp(child, "text"); }, "a fault inside the plug-in",
       "a C++ exception out of the plug-in (its arguments are still released)");
eq(plugin.echo(1), 1, "the plug-in still answers after errors");

if (failures > 0) exit(1);
print("PASS");
