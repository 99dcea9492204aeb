#pragma once

#include <ctime>
#include <string>

#include "gtk/CertView.h"

// What the verification status window shows of one verified signature.
struct SignatureView {
    std::string name;  // the signature field's name, listed in the drop-down
    // An entry without a signature, or whose signature has no signer
    // certificate, leaves the details of the previous entry on screen.
    bool hasSignature = true;
    bool hasSignerCert = true;
    std::string signer;  // UTF-8
    std::string reason;
    std::string location;
    std::string contact;
    std::time_t signingTime = -1;  // -1: unknown
    // Four characters for time, chain, signature and revocation: '1' passed,
    // '0' failed, anything else not determined. Positions 0, 1 and 3 are shown.
    std::string certStatus;
    int code = 2;  // 0 verifies, 1 does not verify, 2 and 3 not checkable
    CertView cert;
};
