#include "support/ThirdPartyTools.h"

#include <gtest/gtest.h>

#include "support/Process.h"

namespace TestSupport {

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++count;
    return count;
}

void ExpectAcceptedByOthers(const std::string& path, const std::string& nssDb, std::size_t signatures) {
    std::string report;
    EXPECT_EQ(RunProgram({"pdfsig", "-nssdir", nssDb, path}, &report), 0) << report;
    EXPECT_EQ(CountOf(report, "Signature Validation: Signature is Valid."), signatures) << report;
    // NSS reports a certificate it has already checked in this run as an
    // unknown issue: a twice-signed file has one trusted line for sure.
    EXPECT_GE(CountOf(report, "Certificate Validation: Certificate is Trusted."), 1u) << report;
    EXPECT_EQ(CountOf(report, "Total document signed"), 1u) << report;

    report.clear();
    EXPECT_EQ(RunProgram({"qpdf", "--check", path}, &report), 0) << report;
    EXPECT_NE(report.find("No syntax or stream encoding errors found"), std::string::npos) << report;

    report.clear();
    EXPECT_EQ(RunProgram({"mutool", "sign", "-v", path}, &report), 0) << report;
    EXPECT_EQ(CountOf(report, "The document is unchanged since signing."), 1u) << report;
}

const std::vector<Encryption>& Encryptions() {
    static const std::vector<Encryption> all = {
        {"RC4 40 bits", {"40"}},
        {"RC4 128 bits", {"128", "--use-aes=n"}},
        {"AES 128 bits", {"128", "--use-aes=y"}},
        {"AES 256 bits", {"256"}},
    };
    return all;
}

int Encrypt(const std::string& in, const std::string& out, const Encryption& how) {
    std::vector<std::string> command = {"qpdf", "--allow-weak-crypto", "--encrypt", "", "owner"};
    command.insert(command.end(), how.keyArguments.begin(), how.keyArguments.end());
    command.insert(command.end(), {"--", in, out});
    return RunProgram(command);
}

}  // namespace TestSupport
