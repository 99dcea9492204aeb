#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "support/TestPKI.h"

namespace TestSupport {

// Certificates and revocation lists with exact times, issued with the keys
// of a TestPKI through the OpenSSL C API.
struct IssueRequest {
    std::string serialHex = "3001";
    std::string commonName = "Pendrel Issued Signer";
    std::time_t notBefore = 0;
    std::time_t notAfter = 0;
    // Extra extensions as an OpenSSL configuration: the lines of section
    // [ext] (e.g. "crlDistributionPoints = dirName:dir_sect"), then any
    // further sections they name.
    std::string extensions;
    std::string sections;
    // The subject's private key (PEM); empty: the Signer's key.
    std::string keyPem;
};

// A certificate issued by the PKI's Intermediate: DER bytes.
std::string IssueCertificate(const TestPKI& pki, const IssueRequest& request);

struct CrlRequest {
    TestPKI::Id issuerName = TestPKI::Intermediate;  // whose name the list carries
    TestPKI::Id signer = TestPKI::Intermediate;      // whose key signs it
    std::time_t thisUpdate = 0;
    std::optional<std::time_t> nextUpdate;  // absent: the list has none
    std::vector<std::string> revokedSerialsHex;
};

// A revocation list: DER bytes.
std::string IssueCRL(const TestPKI& pki, const CrlRequest& request);

}  // namespace TestSupport
