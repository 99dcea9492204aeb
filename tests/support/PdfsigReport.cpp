#include "support/PdfsigReport.h"

#include "support/Process.h"

namespace TestSupport {

std::map<std::string, PdfsigReport> ReadPdfsig(const std::string& db, const std::string& path,
                                               std::string& output) {
    RunProgram({"pdfsig", "-nssdir", db, path}, &output);
    std::map<std::string, PdfsigReport> reports;
    std::size_t at = 0;
    while ((at = output.find("Signature #", at)) != std::string::npos) {
        const std::size_t next = output.find("Signature #", at + 1);
        const std::string block =
            output.substr(at, next == std::string::npos ? std::string::npos : next - at);
        at = next == std::string::npos ? output.size() : next;
        const auto line = [&block](const std::string& label) {
            const std::size_t start = block.find(label);
            if (start == std::string::npos) return std::string();
            const std::size_t end = block.find('\n', start);
            return block.substr(start + label.size(), end - start - label.size());
        };
        PdfsigReport report;
        const std::string validation = line("- Signature Validation: ");
        // "not yet been verified": a type it does not read; "Unknown
        // Validation Failure": it found no signer to check the signature with.
        if (validation.rfind("Signature is Valid.", 0) == 0)
            report.verdict = Pdfsig::Valid;
        else if (validation.empty() || validation.rfind("Signature has not yet been verified.", 0) == 0 ||
                 validation.rfind("Unknown Validation Failure.", 0) == 0)
            report.verdict = Pdfsig::NotRead;
        else
            report.verdict = Pdfsig::Invalid;
        const std::string certificate = line("- Certificate Validation: ");
        report.chain = certificate == "Certificate is Trusted."                            ? '1'
                       : certificate.empty() || certificate.rfind("Unknown issue", 0) == 0 ? 'X'
                                                                                           : '0';
        report.signer = line("- Signer Certificate Common Name: ");
        report.totalDocument = block.find("- Total document signed") != std::string::npos;
        report.type = line("- Signature Type: ");
        reports[line("- Signature Field Name: ")] = report;
    }
    return reports;
}

}  // namespace TestSupport
