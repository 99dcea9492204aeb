// What the plug-in received in NP_Initialize.
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

eq(plugin.browserTableSize(), 440, "size of the browser function table");
eq(plugin.browserTableVersion(), 25, "version of the browser function table");
eq(plugin.nullBrowserEntries(), 0, "entries left empty");

if (failures > 0) exit(1);
print("PASS");
