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

var opts = parse(args);

var request = plugin.createPropObject();
request.file = opts.files[0];
if (request.pages <= 0) throw new Error("cannot load " + opts.files[0] + " (error " + request.pages + ")");

var signer = plugin.createCertInfoObject();
if (opts.subject !== undefined) signer.subject = opts.subject;
if (opts.hash !== undefined) signer.certHash = opts.hash;
if (opts.lang !== undefined) signer.setPolicy("lang", String(number(opts.lang, "--lang")));
if (!signer.search()) throw new Error("no signing certificate found");
request.certificate = signer;

if (opts.options !== undefined) request.options = number(opts.options, "--options");
if (opts.lang !== undefined) request.lang = number(opts.lang, "--lang");
if (opts.reason !== undefined) request.reason = opts.reason;
if (opts.location !== undefined) request.location = opts.location;
if (opts.contact !== undefined) request.contact = opts.contact;
if (opts.field !== undefined) request.sigId = opts.field;

if (opts.visible !== undefined) {
    var box = opts.visible.split(",");
    if (box.length !== 5) usage("--visible needs PAGE,X,Y,W,H");
    var page = number(box[0], "page"), x = number(box[1], "x"), y = number(box[2], "y");
    var width = number(box[3], "width"), height = number(box[4], "height");
    var visual = request.createVisualRepObject(page, x, y, width, height, 255, 255, 255);
    if (visual === null) throw new Error("cannot draw the signature");
    var left = 20;
    if (opts.image !== undefined) {
        if (!visual.loadImage(readFileBase64(opts.image))) throw new Error("not a JPEG picture: " + opts.image);
        visual.posX = 20;
        visual.posY = 20;
        visual.putImage(100, 100);
        left = Math.floor(width / 3);
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
