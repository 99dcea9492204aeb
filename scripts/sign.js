// Signs a PDF with a certificate of the keychain, as a page would.
// args: IN.pdf OUT.pdf [--subject NAME | --hash HEX] [--reason TEXT]
//       [--location TEXT] [--contact TEXT] [--field NAME] [--options N]
//       [--lang N] [--visible PAGE,X,Y,W,H] [--text TEXT] [--image FILE.jpg]
// Units of --visible: tenths of a millimetre. In --text, "\n" starts a line.
function usage(message) {
    throw new Error((message ? message + "\n" : "") +
        "usage: sign IN.pdf OUT.pdf [--subject NAME | --hash HEX] [--reason TEXT] [--location TEXT]" +
        " [--contact TEXT] [--field NAME] [--options N] [--lang N] [--visible PAGE,X,Y,W,H]" +
        " [--text TEXT] [--image FILE.jpg]");
}

function parse(list) {
    var known = ["--subject", "--hash", "--reason", "--location", "--contact", "--field", "--options",
                 "--lang", "--visible", "--text", "--image"];
    var opts = { files: [] };
    for (var i = 0; i < list.length; i++) {
        var a = list[i];
        if (a.indexOf("--") === 0) {
            if (known.indexOf(a) < 0) usage("unknown option " + a);
            if (i + 1 >= list.length) usage(a + " needs a value");
            opts[a.substring(2)] = list[++i];
        } else {
            opts.files.push(a);
        }
    }
    if (opts.files.length !== 2) usage();
    if (opts.subject !== undefined && opts.hash !== undefined) usage("--subject and --hash exclude each other");
    return opts;
}

function number(text, what) {
    if (!/^-?[0-9]+$/.test(text)) usage(what + " must be a whole number: " + text);
    return parseInt(text, 10);
}

// A bare file name would name a file in the home folder (as for a web page);
// on the command line it names one in the current folder.
function local(path) {
    return path.indexOf("/") >= 0 ? path : "./" + path;
}

var opts = parse(args);
opts.files = opts.files.map(local);
var box = null;
if (opts.visible !== undefined) {
    var parts = opts.visible.split(",");
    if (parts.length !== 5) usage("--visible needs PAGE,X,Y,W,H");
    box = { page: number(parts[0], "page"), x: number(parts[1], "x"), y: number(parts[2], "y"),
            width: number(parts[3], "width"), height: number(parts[4], "height") };
}
if (opts.options !== undefined) number(opts.options, "--options");
if (opts.lang !== undefined) number(opts.lang, "--lang");

var request = plugin.createPropObject();
request.file = opts.files[0];
if (request.pages <= 0) throw new Error("cannot load " + opts.files[0] + " (error " + request.pages + ")");

var signer = plugin.createCertInfoObject();
if (opts.subject !== undefined) signer.subject = opts.subject;
if (opts.hash !== undefined) {
    // The certificate-info object reads pairs of hex digits with one separator
    // between them: "EF5110..." and "EF:51:10:..." both become "EF 51 10 ...".
    var digits = opts.hash.replace(/[\s:]/g, "");
    if (!/^([0-9a-fA-F]{2})+$/.test(digits)) usage("--hash needs hexadecimal digits: " + opts.hash);
    signer.certHash = digits.match(/../g).join(" ");
}
if (opts.lang !== undefined) signer.setPolicy("lang", String(number(opts.lang, "--lang")));
if (opts.subject !== undefined || opts.hash !== undefined) {
    if (!signer.search()) throw new Error("no signing certificate found");
} else if (!signer.showDialog()) {
    // Without criteria the user chooses; without windows nothing is chosen.
    throw new Error("no signing certificate chosen (give --subject NAME or --hash HEX)");
}
request.certificate = signer;

if (opts.options !== undefined) request.options = number(opts.options, "--options");
if (opts.lang !== undefined) request.lang = number(opts.lang, "--lang");
if (opts.reason !== undefined) request.reason = opts.reason;
if (opts.location !== undefined) request.location = opts.location;
if (opts.contact !== undefined) request.contact = opts.contact;
if (opts.field !== undefined) request.sigId = opts.field;

if (box !== null) {
    var width = box.width;
    var visual = request.createVisualRepObject(box.page, box.x, box.y, box.width, box.height, 255, 255, 255);
    if (visual === null) throw new Error("cannot draw the signature");
    var left = 20;
    if (opts.image !== undefined) {
        if (!visual.loadImage(readFileBase64(opts.image))) throw new Error("not a JPEG picture: " + opts.image);
        visual.posX = 20;
        visual.posY = 20;
        visual.putImage(100, 100);
        left = Math.min(Math.floor(width / 3), 160);
    }
    var lines = (opts.text !== undefined ? opts.text : "Signed by $Subject\n$Time").split("\\n");
    var size = 35;
    visual.setFont("Sans", size, 0);
    for (var i = 0; i < lines.length; i++) {
        visual.posX = left;
        visual.posY = 20 + i * Math.floor(size * 1.4);
        visual.putText(lines[i]);
    }
    request.visual = visual;
}

var result = plugin.sign(request);
if (result.error !== 1) throw new Error("signing failed: error " + result.error);
if (!result.saveFile(opts.files[1])) throw new Error("cannot write " + opts.files[1]);
print("signed " + opts.files[1]);
