// Signs a PDF with a certificate of the keychain, as a page would.
// args: IN.pdf OUT.pdf [--subject NAME | --hash HEX] [--reason TEXT]
//       [--location TEXT] [--contact TEXT] [--field NAME] [--options N]
//       [--lang N] [--visible PAGE,X,Y,W,H] [--text TEXT] [--image FILE.jpg]
// Units of --visible: tenths of a millimetre. In --text, "\n" starts a line.
// Exit status: 0 signed, 1 not signed, 2 usage errors and documents that
// cannot be read.
(0, eval)(readText(scriptPath.replace(/[^\/]*$/, "") + "cli.js"));

var NAME = "sign";
var USAGE = "usage: sign IN.pdf OUT.pdf [--subject NAME | --hash HEX] [--reason TEXT] [--location TEXT]\n" +
    "            [--contact TEXT] [--field NAME] [--options N] [--lang N] [--visible PAGE,X,Y,W,H]\n" +
    "            [--text TEXT] [--image FILE.jpg]";
var kCheckRevocation = 8;
var kNoDistributionPoint = -34;

function usage(problem) {
    cli.usage(NAME, USAGE, problem);
}

function fail(message) {
    cli.exit(cli.kFailed, NAME + ": " + message);
}

function parse(list) {
    var known = ["--subject", "--hash", "--reason", "--location", "--contact", "--field", "--options",
                 "--lang", "--visible", "--text", "--image"];
    var opts = { files: [] };
    for (var i = 0; i < list.length; i++) {
        var a = list[i];
        if (a === "--help" || a === "-h") cli.help(USAGE);
        if (a.indexOf("--") === 0) {
            if (known.indexOf(a) < 0) usage("unknown option " + a);
            if (i + 1 >= list.length) usage(a + " needs a value");
            opts[a.substring(2)] = list[++i];
        } else {
            opts.files.push(a);
        }
    }
    if (opts.files.length !== 2) usage(opts.files.length < 2 ? "IN.pdf and OUT.pdf are needed" :
                                       "unexpected argument " + opts.files[2]);
    if (opts.subject !== undefined && opts.hash !== undefined) usage("--subject and --hash exclude each other");
    return opts;
}

function number(text, what) {
    return cli.number(NAME, USAGE, text, what);
}

// Why signing failed, in words, from the result's code.
function signFailure(code) {
    var reasons = {
        "-2": "no working file can be made",
        "-3": "no certificate",
        "-8": "signing could not be set up",
        "-30": "the certificate is expired or not yet valid",
        "-31": "the certificate chain does not lead to a trusted root",
        "-32": "the certificate is revoked, or its revocation status could not be obtained",
        "-35": "the certificate names no address to fetch its revocation list from",
        "-65": "encrypted documents cannot be signed",
        "-66": "the field is signed already",
        "-67": "the field is not a signature field",
        "-70": "no passphrase or PIN for the key (no window, and the environment names none)",
        "-71": "the passphrase or PIN was not given",
        "-72": "the passphrase does not open the key",
        "-73": "the token refused the PIN",
        "-74": "the token's PIN is locked",
        "-75": "the token or its key is no longer there",
        "-76": "the key cannot be used",
        "-77": "a web page may load only documents of its own site",
        "-78": "a web page may not save files (it reads the signed document instead)",
        "-79": "the user did not allow this web page to sign (no window to ask in, or Deny)",
    };
    var reason = reasons[String(code)];
    return "signing failed: " + (reason !== undefined ? reason + " (error " + code + ")" : "error " + code);
}

cli.run(NAME, function () {
    var opts = parse(args);
    var out = cli.local(opts.files[1]);
    var box = null;
    if (opts.visible !== undefined) {
        var parts = opts.visible.split(",");
        if (parts.length !== 5) usage("--visible needs PAGE,X,Y,W,H");
        box = { page: number(parts[0], "page"), x: number(parts[1], "x"), y: number(parts[2], "y"),
                width: number(parts[3], "width"), height: number(parts[4], "height") };
    }
    var options = opts.options !== undefined ? number(opts.options, "--options") : undefined;
    var lang = opts.lang !== undefined ? number(opts.lang, "--lang") : undefined;
    var digits;
    if (opts.hash !== undefined) {
        // The certificate-info object reads pairs of hex digits with one separator
        // between them: "EF5110..." and "EF:51:10:..." both become "EF 51 10 ...".
        digits = opts.hash.replace(/[\s:]/g, "");
        if (!/^([0-9a-fA-F]{2})+$/.test(digits)) usage("--hash needs hexadecimal digits: " + opts.hash);
    }
    var image;
    if (opts.image !== undefined) {
        try {
            readHead(opts.image, 1);
        } catch (e) {
            cli.exit(cli.kUsage, NAME + ": cannot read " + opts.image + ": " + e.message);
        }
        image = readFileBase64(opts.image);
    }

    var request = cli.load(NAME, opts.files[0]);

    var signer = plugin.createCertInfoObject();
    if (opts.subject !== undefined) signer.subject = opts.subject;
    if (digits !== undefined) signer.certHash = digits.match(/../g).join(" ");
    if (lang !== undefined) signer.setPolicy("lang", String(lang));
    if (opts.subject !== undefined || opts.hash !== undefined) {
        if (!signer.search()) fail("no signing certificate found in the keychain");
    } else if (!signer.showDialog()) {
        // Without criteria the user chooses; without windows nothing is chosen.
        fail("no signing certificate chosen (give --subject NAME or --hash HEX)");
    }
    request.certificate = signer;

    if (options !== undefined) request.options = options;
    if (lang !== undefined) request.lang = lang;
    if (opts.reason !== undefined) request.reason = opts.reason;
    if (opts.location !== undefined) request.location = opts.location;
    if (opts.contact !== undefined) request.contact = opts.contact;
    if (opts.field !== undefined) request.sigId = opts.field;

    if (box !== null) {
        var visual = request.createVisualRepObject(box.page, box.x, box.y, box.width, box.height, 255, 255, 255);
        if (visual === null) fail("cannot draw the signature");
        var left = 20;
        if (image !== undefined) {
            if (!visual.loadImage(image)) cli.exit(cli.kUsage, NAME + ": " + opts.image + ": not a JPEG picture");
            visual.posX = 20;
            visual.posY = 20;
            visual.putImage(100, 100);
            left = Math.min(Math.floor(box.width / 3), 160);
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
    // A certificate that names no distribution point passes over the
    // revocation test: the copy is signed, and the user is told.
    var passedOver = result.error === kNoDistributionPoint && options !== undefined &&
        (options & kCheckRevocation) !== 0;
    if (result.error !== 1 && !passedOver) fail(signFailure(result.error));
    if (!result.saveFile(out))
        fail(result.error === -78 ? signFailure(-78) : "cannot write " + opts.files[1]);
    print("signed " + opts.files[1] +
          (passedOver ? " (revocation test passed over: the certificate names no distribution point)" : ""));
    return cli.kOk;
});
