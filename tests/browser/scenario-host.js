// The steps of test.html's signDocument and verifyDocument, in pendrel-host,
// printing the same record as JSON. The browser tests compare the two.
// args: sign IN.pdf OUT.pdf SUBJECT [visible] | verify IN.pdf
function load(path) {
    var request = plugin.createPropObject();
    request.feedBase64Data(readFileBase64(path));
    request.feedBase64Data("");
    return request;
}

function sign(from, to, subject, visible) {
    var request = load(from);
    var pages = request.pages;
    if (pages <= 0) return { pages: pages };
    var info = plugin.createCertInfoObject();
    info.subject = subject;
    var found = info.search();
    request.certificate = info;
    request.reason = "Browser test";
    if (visible) {
        var visual = request.createVisualRepObject(1, 254, 500, 900, 250, 255, 255, 255);
        visual.setFont("Sans", 35, 0);
        visual.posX = 20;
        visual.posY = 20;
        visual.putText("Signed by $Subject");
        request.visual = visual;
    }
    var result = plugin.sign(request);
    var error = result.error;
    if (error === 1) result.saveFile(to);
    return { pages: pages, found: found, error: error };
}

function verify(from) {
    var result = plugin.verify(load(from));
    var answer = { error: result.error, signatures: [] };
    var list = result.signatures;
    if (list !== null) {
        for (var n = 0; n < list.sigCount; n++) {
            list.loadSignature(n);
            var signer = list.certificate;
            answer.signatures.push({ sigId: list.sigId, status: list.status,
                                     subject: signer !== null ? signer.subject : "",
                                     docRevision: list.docRevision, error: list.error });
        }
        answer.revisionCount = list.revisionCount;
    }
    return answer;
}

if (args[0] === "sign") {
    print(JSON.stringify(sign(args[1], args[2], args[3], args[4] === "visible")));
} else {
    print(JSON.stringify(verify(args[1])));
}
