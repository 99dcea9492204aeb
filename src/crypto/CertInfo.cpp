#include "crypto/CertInfo.h"

#include "crypto/CertInfoInterface.h"
#include "crypto/Certificate.h"

namespace Crypto {

void CertInfo::Adopt(const CertInfoInterface* source) {
    if (source == nullptr) return;
    subject.clear();
    hash.clear();
    issuer.clear();
    serial = 0;

    subject = source->Subject();
    issuer = source->Issuer();
    const std::string hex = source->Hash();
    if (!hex.empty()) Certificate::HexToByteBuffer(hex, hash);
    if (hash.empty()) {
        const std::string base64 = source->Hash64();
        if (!base64.empty()) Certificate::Base64ToByteBuffer(base64, hash);
    }
    const std::string serialHex = source->Serial();
    if (!serialHex.empty()) serial = Certificate::HexToSerialNumber(serialHex);
}

}  // namespace Crypto
