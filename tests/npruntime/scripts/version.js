// The version property: the same under any spelling, read only.
var failures = 0;
function check(ok, what) { if (!ok) { failures++; print("FAIL " + what); } }
function eq(actual, expected, what) {
    check(actual === expected, what + ": got " + JSON.stringify(actual) + ", expected " + JSON.stringify(expected));
}
function throws(fn, what) {
    try { fn(); } catch (e) { return; }
    check(false, what + ": nothing thrown");
}

eq(plugin.versionNumber, "1.2.27", "versionNumber");
eq(typeof plugin.versionNumber, "string", "type of versionNumber");
throws(function () { plugin.versionNumber = "9.9.9"; }, "assigning versionNumber");
throws(function () { plugin.VERSIONNUMBER = 3; }, "assigning VERSIONNUMBER");
eq(plugin.versionNumber, "1.2.27", "versionNumber after the failed assignments");
throws(function () { plugin.versionNumber(); }, "calling a property");

if (failures > 0) exit(1);
print("PASS");
