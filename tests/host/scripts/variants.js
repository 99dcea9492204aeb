// Values crossing from the page to the plug-in and back.
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

// Numbers: int32-range integers as int32, everything else as double.
var numbers = [
    [0, "int32:0"], [1, "int32:1"], [-1, "int32:-1"],
    [2147483647, "int32:2147483647"], [-2147483648, "int32:-2147483648"],
    [2147483648, "double:2147483648"], [-2147483649, "double:-2147483649"],
    [1.5, "double:1.5"], [-0.25, "double:-0.25"], [-0, "double:-0"],
    [NaN, "double:nan"], [Infinity, "double:inf"], [-Infinity, "double:-inf"],
    [npDouble(5), "double:5"], [npDouble(0), "double:0"], [npDouble(-7), "double:-7"], [npDouble(2.5), "double:2.5"],
    [true, "bool:true"], [false, "bool:false"], [null, "null"], [undefined, "void"],
    ["", "string"], ["7", "string"], [{}, "object"], [[1, 2], "object"], [function () {}, "object"], [plugin, "object"]
];
for (var i = 0; i < numbers.length; ++i) eq(plugin.describe(numbers[i][0]), numbers[i][1], "describe #" + i);
eq(npDouble(5) + 1, 6, "npDouble value in arithmetic");
eq(plugin.argCount(), 0, "no arguments");

// Strings reach the plug-in as UTF-8 (bytes from the Unicode standard).
var strings = [
    ["", ""], ["A", "41"], ["\u00e9", "c3a9"], ["\u20ac", "e282ac"], ["\ud83d\ude00", "f09f9880"],
    ["😀", "f09f9880"], ["a\u0000b", "610062"], ["\ud800", "efbfbd"], ["x\udc00y", "78efbfbd79"]
];
for (var j = 0; j < strings.length; ++j) eq(plugin.bytesHex(strings[j][0]), strings[j][1], "UTF-8 of #" + j);

// And come back unchanged.
var texts = ["", "plain", "Grüße, 世界 😀", "a\u0000b"];
for (var k = 0; k < texts.length; ++k) eq(plugin.echo(texts[k]), texts[k], "echo of text #" + k);
eq(plugin.echo("😀").length, 2, "a character beyond U+FFFF is a surrogate pair in script");
eq(plugin.echo(42), 42, "echo int");
eq(plugin.echo(npDouble(3)), 3, "echo double");
eq(plugin.echo(true), true, "echo bool");
eq(plugin.echo(null), null, "echo null");
eq(plugin.echo(undefined), undefined, "echo undefined");

// Objects: script objects are of the host's class, plug-in objects of their own.
var own = {a: 1};
eq(plugin.classOf(own), "foreign", "a plain script object");
eq(plugin.classOf([1]), "foreign", "an array");
eq(plugin.classOf(function () {}), "foreign", "a function");
eq(plugin.echo(own), own, "a script object comes back as itself");
eq(plugin.classOf(plugin), "test", "the plug-in's own object");
var child = plugin.createChild();
eq(plugin.classOf(child), "test", "a returned object");
eq(plugin.classOf(plugin.echo(child)), "test", "an echoed plug-in object");
eq(plugin.returnNullObject(), null, "a null object");
eq(plugin.argCount(1, "a", null, undefined), 4, "argument count");

// Properties through HasProperty/GetProperty/SetProperty.
plugin.count = 5;
eq(plugin.count, 5, "int property");
plugin.count = 3.9;
eq(plugin.count, 3, "a double written to an int property");
plugin.count = npDouble(4);
eq(plugin.count, 4, "npDouble written to an int property");
plugin.name = "Zoë 😀";
eq(plugin.name, "Zoë 😀", "string property");
plugin.flag = true;
eq(plugin.flag, true, "bool property");
eq(plugin.readOnly, "fixed", "read-only property");
eq(plugin[3], "item3", "integer identifier");
eq(plugin["7"], "item7", "integer identifier from a string key");
eq(plugin.windowType, 2, "NPP_SetWindow got a drawable with a Core Graphics context");
eq(child.count, 0, "a child's own state");
check("count" in plugin, "'in' finds a property");
check("echo" in plugin, "'in' finds a method");
check(!("nothing" in plugin), "'in' misses an unknown name");
eq(plugin.nothing, undefined, "unknown property");
eq(typeof plugin.echo, "function", "a method is a function");
var echo = plugin.echo;
eq(echo(9), 9, "a method taken off the object still calls it");
eq(Object.getOwnPropertyNames(plugin).join(","), "count,name,flag,readOnly", "enumeration");
check(delete plugin.name, "removing a property");
eq(plugin.name, "", "removed property");
check(plugin.identifiersWork(), "identifiers are interned and typed");
check(plugin.userAgent().indexOf("pendrel-host") === 0, "user agent");

if (failures > 0) exit(1);
print("PASS");
