// Signing with token identities through the page vocabulary: a search by
// subject, the sign, the error a page reads, and the details of the signer.
// args: IN.pdf OUT-FOLDER SUBJECT...
// Prints one line per subject: "SUBJECT<tab>ERROR<tab>SIGNER-STATUS", and
// saves a signed copy as OUT-FOLDER/<n>.pdf when the error is 1.
var input = args[0];
var out = args[1];
for (var n = 2; n < args.length; n++) {
    var subject = args[n];
    var info = plugin.createCertInfoObject();
    info.subject = subject;
    info.setPolicy("onlyPrivateKeys", "true");
    if (!info.search()) {
        print(subject + "\tnot found\t");
        continue;
    }
    var request = plugin.createPropObject();
    request.file = input;
    request.certificate = info;
    request.reason = "Signed on the token";
    var result = plugin.sign(request);
    var status = "";
    if (result.error === 1) {
        if (!result.saveFile(out + "/" + (n - 1) + ".pdf")) throw new Error("cannot save the copy");
        var list = result.signatures;
        list.loadSignature(0);
        status = list.certificate.subject + " " + list.status;
    }
    print(subject + "\t" + result.error + "\t" + status);
}
