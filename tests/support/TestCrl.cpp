#include "support/TestCrl.h"

#include <stdexcept>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace TestSupport {

namespace {

void Run(const std::vector<std::string>& argv) {
    std::string output;
    if (RunCommand(argv, &output) != 0)
        throw std::runtime_error(argv[0] + " " + argv[1] + " failed: " + output);
}

}  // namespace

TestCrl MakeTestCrl(const TempDir& dir) {
    const std::string key = dir.File("crl-ca.key");
    const std::string cert = dir.File("crl-ca.pem");
    const std::string config = dir.File("crl-ca.cnf");
    const std::string pem = dir.File("crl.pem");
    const std::string der = dir.File("crl.der");
    WriteFile(dir.File("crl-index.txt"), "");
    WriteFile(dir.File("crl-number"), "01\n");
    WriteFile(config, "[ ca ]\ndefault_ca = test_ca\n[ test_ca ]\ndatabase = " + dir.File("crl-index.txt") +
                          "\ncrlnumber = " + dir.File("crl-number") +
                          "\ndefault_md = sha256\ndefault_crl_days = 1\n");

    Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
         "-keyout", key, "-out", cert, "-subj", "/CN=Throwaway CRL CA", "-days", "2"});
    Run({"openssl", "ca", "-batch", "-config", config, "-gencrl", "-keyfile", key, "-cert", cert, "-out",
         pem});
    Run({"openssl", "crl", "-in", pem, "-outform", "DER", "-out", der});
    return TestCrl{ReadFile(der), ReadFile(pem)};
}

std::string Base64(const std::string& bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], kAlphabet[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned v =
            (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
    }
    return out;
}

}  // namespace TestSupport
