#include "support/OpenSSLTool.h"

#include <ctime>
#include <stdexcept>

#include "support/Process.h"
#include "support/TestIssuer.h"

namespace TestSupport {

namespace {

std::string Run(const std::vector<std::string>& argv) {
    std::string output;
    if (RunProgram(argv, &output) != 0)
        throw std::runtime_error(argv[0] + " " + argv[1] + " failed: " + output);
    return output;
}

// Root and Intermediate in one file, for -CAfile.
std::string ChainFile(const TempDir& dir) {
    const TestPKI& pki = TestPKI::Shared();
    const std::string path = dir.File("chain.pem");
    WriteFile(path,
              ReadFile(pki.Get(TestPKI::Root).certPem) + ReadFile(pki.Get(TestPKI::Intermediate).certPem));
    return path;
}

PKICert Issued(const TempDir& dir, const std::string& name, IssueRequest request) {
    PKICert cert;
    cert.name = name;
    cert.certDer = dir.File(name + ".der");
    cert.certPem = dir.File(name + ".pem");
    cert.keyPem = request.keyPem.empty() ? TestPKI::Shared().Get(TestPKI::Signer).keyPem : request.keyPem;
    const std::time_t now = std::time(nullptr);
    request.notBefore = now - 3600;
    request.notAfter = now + 30 * 24 * 3600;
    WriteFile(cert.certDer, IssueCertificate(TestPKI::Shared(), request));
    Run({"openssl", "x509", "-inform", "DER", "-in", cert.certDer, "-out", cert.certPem});
    return cert;
}

}  // namespace

PKICert MakeTimeStampAuthority(const TempDir& dir) {
    IssueRequest request;
    request.serialHex = "3101";
    request.commonName = "Pendrel Test Time Stamps";
    request.extensions = "extendedKeyUsage = critical,timeStamping\nsubjectKeyIdentifier = hash\n";
    return Issued(dir, "tsa", request);
}

PKICert MakeECSigner(const TempDir& dir, const std::string& curve) {
    IssueRequest request;
    request.serialHex = "3102";
    request.commonName = "Pendrel " + curve + " Signer";
    request.extensions = "subjectKeyIdentifier = hash\n";
    request.keyPem = dir.File(curve + "-key.pem");
    Run({"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:" + curve, "-out",
         request.keyPem});
    return Issued(dir, curve, request);
}

std::string CmsSign(const TempDir& dir, const std::string& content, const PKICert& signer,
                    const std::vector<std::string>& options) {
    WriteFile(dir.File("content.bin"), content);
    std::vector<std::string> argv = {"openssl",  "cms",
                                     "-sign",    "-binary",
                                     "-in",      dir.File("content.bin"),
                                     "-signer",  signer.certPem,
                                     "-inkey",   signer.keyPem,
                                     "-outform", "DER",
                                     "-out",     dir.File("cms.der")};
    argv.insert(argv.end(), options.begin(), options.end());
    Run(argv);
    return ReadFile(dir.File("cms.der"));
}

bool CmsVerifies(const TempDir& dir, const std::string& content, const std::string& der,
                 const std::vector<std::string>& options) {
    WriteFile(dir.File("content.bin"), content);
    WriteFile(dir.File("verify.der"), der);
    std::vector<std::string> argv = {"openssl",  "cms",
                                     "-verify",  "-binary",
                                     "-inform",  "DER",
                                     "-in",      dir.File("verify.der"),
                                     "-content", dir.File("content.bin"),
                                     "-CAfile",  ChainFile(dir),
                                     "-purpose", "any",
                                     "-out",     "/dev/null"};
    argv.insert(argv.end(), options.begin(), options.end());
    return RunProgram(argv) == 0;
}

std::string TimeStampToken(const TempDir& dir, const std::string& content, const PKICert& tsa,
                           const std::string& digest) {
    WriteFile(dir.File("content.bin"), content);
    return TimeStampTokenOfFile(dir, dir.File("content.bin"), tsa, digest);
}

std::string TimeStampTokenOfFile(const TempDir& dir, const std::string& path, const PKICert& tsa,
                                 const std::string& digest) {
    WriteFile(dir.File("tsa.serial"), "01\n");
    WriteFile(dir.File("tsa.cnf"),
              "[tsa]\ndefault_tsa = test_tsa\n[test_tsa]\nserial = " + dir.File("tsa.serial") +
                  "\nsigner_digest = sha256\ndefault_policy = 1.2.3.4.1\n"
                  "digests = md5, sha1, sha256, sha384, sha512\ness_cert_id_alg = sha256\n");
    Run({"openssl", "ts", "-query", "-data", path, "-" + digest, "-cert", "-out", dir.File("query.tsq")});
    Run({"openssl", "ts", "-reply", "-config", dir.File("tsa.cnf"), "-queryfile", dir.File("query.tsq"),
         "-signer", tsa.certPem, "-inkey", tsa.keyPem, "-token_out", "-out", dir.File("token.der")});
    return ReadFile(dir.File("token.der"));
}

bool TimeStampVerifies(const TempDir& dir, const std::string& content, const std::string& token) {
    WriteFile(dir.File("content.bin"), content);
    WriteFile(dir.File("verify.tst"), token);
    return RunProgram({"openssl", "ts", "-verify", "-data", dir.File("content.bin"), "-in",
                       dir.File("verify.tst"), "-token_in", "-CAfile", ChainFile(dir)}) == 0;
}

long TimeStampTime(const TempDir& dir, const std::string& token) {
    WriteFile(dir.File("print.tst"), token);
    const std::string text =
        Run({"openssl", "ts", "-reply", "-in", dir.File("print.tst"), "-token_in", "-text"});
    // "Time stamp: Jan 15 14:30:00 2024 GMT"
    const std::string label = "Time stamp: ";
    const std::size_t at = text.find(label);
    if (at == std::string::npos) throw std::runtime_error("no time in " + text);
    std::tm when{};
    if (strptime(text.c_str() + at + label.size(), "%b %d %H:%M:%S %Y", &when) == nullptr)
        throw std::runtime_error("unreadable time in " + text);
    return static_cast<long>(timegm(&when));
}

}  // namespace TestSupport
