// Names reach the plug-in without regard to case; unknown names fail.
var failures = 0;
function check(ok, what) { if (!ok) { failures++; print("FAIL " + what); } }
function eq(actual, expected, what) {
    check(actual === expected, what + ": got " + JSON.stringify(actual) + ", expected " + JSON.stringify(expected));
}
function throws(fn, what) {
    try { fn(); } catch (e) { return; }
    check(false, what + ": nothing thrown");
}

["versionNumber", "VERSIONNUMBER", "versionnumber", "VeRsIoNnUmBeR"].forEach(function (name) {
    eq(plugin[name], "1.2.27", "plugin." + name);
});
check(plugin.noSuchProperty === undefined || plugin.noSuchProperty === null, "unknown property reads as nothing");
throws(function () { plugin.noSuchMethod(); }, "unknown method");
throws(function () { plugin.noSuchProperty = 1; }, "assigning an unknown property");
// The same object each time it is read.
eq(plugin, plugin, "plugin object identity");

if (failures > 0) exit(1);
print("PASS");
