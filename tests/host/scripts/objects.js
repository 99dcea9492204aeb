// The plug-in working on script objects through the browser, and reference counts.
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

var own;
var o = {x: 1, greet: function (n) { return "hi " + n + " " + this.x; }};
eq(plugin.getProperty(o, "x"), 1, "NPN_GetProperty");
check(plugin.setProperty(o, "y", "ü 😀") !== false, "NPN_SetProperty");
eq(o.y, "ü 😀", "value set by the plug-in");
eq(plugin.hasProperty(o, "x"), true, "NPN_HasProperty true");
eq(plugin.hasProperty(o, "zz"), false, "NPN_HasProperty false");
eq(plugin.hasMethod(o, "greet"), true, "NPN_HasMethod true");
eq(plugin.hasMethod(o, "x"), false, "NPN_HasMethod on a value");
eq(plugin.callMethod(o, "greet", "Bob"), "hi Bob 1", "NPN_Invoke with this");
eq(plugin.callFunction(function (a, b) { return a + b; }, 2, 3), 5, "NPN_InvokeDefault");
eq(plugin.construct(function P(v) { this.v = v; }, 9).v, 9, "NPN_Construct");
eq(plugin.removeProperty(o, "y"), true, "NPN_RemoveProperty");
check(!("y" in o), "removed by the plug-in");
eq(plugin.keysOf(o), "x,greet", "NPN_Enumerate");
throws(function () { plugin.callFunction(function () { throw new Error("inner"); }); }, "callFunction",
       "a throwing script function makes the call fail");
eq(plugin.evaluate("1 + 2"), 3, "NPN_Evaluate");
eq(plugin.evaluate("var evaluated = 'yes'; evaluated"), "yes", "NPN_Evaluate in the global scope");
eq(evaluated, "yes", "global set by NPN_Evaluate");
var child = plugin.createChild();
eq(plugin.getProperty(child, "count"), 0, "NPN_GetProperty on a plug-in object");

// Calls nest: the plug-in calls script that calls the plug-in again.
eq(plugin.callFunction(function () { return plugin.echo("inner ü"); }), "inner ü", "nested call");
eq(plugin.callFunction(function (x) { return plugin.classOf(x); }, child), "test", "a plug-in object passed back to script");
eq(plugin.classOf(plugin.getProperty({c: child}, "c")), "test", "a plug-in object read from a script object");
eq(plugin.callFunction(function (x) { return x; }, own = {k: 2}), own, "a script object passed through the plug-in");

// Calls neither gain nor lose references.
var before = plugin.refCount(child);
for (var i = 0; i < 20; ++i) { plugin.echo(child); plugin.typeOf(child); child.count = i; plugin.classOf(plugin.echo(child)); }
eq(plugin.refCount(child), before, "reference count after many calls");
plugin.keep(child);
eq(plugin.refCount(child), before + 1, "kept by the plug-in");
plugin.dropKept();
eq(plugin.refCount(child), before, "dropped by the plug-in");

// A script object is one host object while the plug-in holds it, and goes when dropped.
var held = {};
var alone = plugin.refCount(held);
eq(alone, 1, "a script object passed once is referenced by the call only");
plugin.keep(held);
eq(plugin.refCount(held), alone + 1, "the same host object on the next call");
plugin.dropKept();
eq(plugin.refCount(held), alone, "released when the plug-in drops it");

// A wrapper the script lets go releases its object.
var temp = plugin.createChild();
plugin.keep(temp);
eq(plugin.keptRefCount(), 2, "held by the wrapper and the plug-in");
temp = null;
Duktape.gc();
eq(plugin.keptRefCount(), 1, "the wrapper released its reference");
plugin.dropKept();

if (failures > 0) exit(1);
print("PASS");
