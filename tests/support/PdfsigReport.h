#pragma once

#include <map>
#include <string>

namespace TestSupport {

// pdfsig's verdict on one signature.
enum class Pdfsig { Valid, Invalid, NotRead };

struct PdfsigReport {
    Pdfsig verdict = Pdfsig::NotRead;
    // "Certificate is Trusted." gives '1'; pdfsig reports nothing certain
    // for the second signature by one certificate in a file ("Unknown issue
    // with Certificate"): 'X'; anything else '0'.
    char chain = 'X';
    // "Signer Certificate Common Name"; empty when not given.
    std::string signer;
    // "Total document signed" (not "Not total document signed").
    bool totalDocument = false;
    // "Signature Type", e.g. adbe.pkcs7.detached.
    std::string type;
};

// The signatures of pdfsig's report on `path` (checked against the NSS
// database `db`) by field name; the whole report goes to `output`.
std::map<std::string, PdfsigReport> ReadPdfsig(const std::string& db, const std::string& path,
                                               std::string& output);

}  // namespace TestSupport
