// File helpers: args = [bytes.bin, bytes.b64 (made by Python), text.txt, scratch folder].
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

eq(readFileBase64(args[0]), readText(args[1]), "Base64 of every byte value");
eq(readText(args[2]), "Grüße, 世界 😀\nzweite Zeile\n", "UTF-8 text");
writeText(args[3] + "/empty.txt", "");
eq(readFileBase64(args[3] + "/empty.txt"), "", "Base64 of an empty file");
eq(readText(args[3] + "/empty.txt"), "", "an empty text file");
writeText(args[3] + "/out.txt", "first version, much longer than the second");
writeText(args[3] + "/out.txt", "Ünïcødé 😀 ok\n");
eq(readText(args[3] + "/out.txt"), "Ünïcødé 😀 ok\n", "rewritten file");
writeText(args[3] + "/number.txt", 42);
eq(readText(args[3] + "/number.txt"), "42", "a number is written as text");
eq(readFileBase64(args[3] + "/number.txt"), "NDI=", "Base64 with padding");
throws(function () { writeText(args[3] + "/missing/x.txt", "x"); }, "cannot write", "write into a missing folder");

// readHead: the first bytes, one character per byte; failures say why in words.
var head = readHead(args[0], 300);
eq(head.length, 300, "readHead gives the bytes asked for");
var codes = true;
for (var i = 0; i < 300; i++) if (head.charCodeAt(i) !== i % 256) codes = false;
check(codes, "readHead maps each byte to one character");
eq(readHead(args[2]).length, readHead(args[2], 1000).length, "readHead reads up to 1024 bytes by default");
eq(readHead(args[3] + "/empty.txt", 10), "", "readHead of an empty file");
function reason(fn) { try { fn(); } catch (e) { return e.message; } return "nothing thrown"; }
eq(reason(function () { readHead(args[3] + "/none.pdf", 8); }), "no such file", "readHead of a missing file");
eq(reason(function () { readHead(args[3] + "/none/x.pdf", 8); }), "no such file", "readHead below a missing folder");
eq(reason(function () { readHead(args[3], 8); }), "is a folder", "readHead of a folder");
eq(reason(function () { readHead("/dev/null", 8); }), "not a regular file", "readHead of a device");
printError("to", "standard error");
check(/\/files\.js$/.test(scriptPath), "scriptPath names the running script: " + scriptPath);

if (failures > 0) exit(1);
print("PASS");
