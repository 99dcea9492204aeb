#include "crypto/openssl/CMSSigner.h"

#include <climits>

#include "common/Logger.h"
#include "crypto/openssl/SigningCertificateAttribute.h"

namespace Crypto {

namespace {

void LogFailure(const char* func, const char* what) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("%s: %s", what, TakeOpenSSLError().c_str());
}

void LogVerify(const char* text) {
    Logger::Get()->SetFunc("Verify");
    Logger::Get()->Log("%s", text);
}

const char* DigestName(int nid) {
    return nid == NID_sha1 ? "SHA-1" : OBJ_nid2sn(nid);
}

}  // namespace

CMSPtr CMSSigner::DecodeSignedData(const unsigned char* der, unsigned long length, const char* func) {
    if (der == nullptr || length == 0 || length > LONG_MAX) return nullptr;
    const unsigned char* p = der;
    CMSPtr decoded(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(length)));
    if (!decoded) {
        LogFailure(func, "The CMS message cannot be decoded");
        return nullptr;
    }
    if (OBJ_obj2nid(CMS_get0_type(decoded.get())) != NID_pkcs7_signed) {
        Logger::Get()->SetFunc(func);
        Logger::Get()->Log("The CMS message is not signed data");
        return nullptr;
    }
    return decoded;
}

bool CMSSigner::DigestProtects(int nid, const char* what) {
    if (nid == NID_md5 || nid == NID_md4 || nid == NID_md2) {
        Logger::Get()->SetFunc("Verify");
        Logger::Get()->Log("%s uses the %s digest, which no longer protects a document: not valid", what,
                           DigestName(nid));
        return false;
    }
    if (nid == NID_sha1) {
        Logger::Get()->SetFunc("Verify");
        Logger::Get()->Log("%s uses the weak SHA-1 digest; it is judged on its merits", what);
    }
    return true;
}

CMSSigner::CMSSigner(CMS_ContentInfo* cms) {
    STACK_OF(CMS_SignerInfo)* signers = cms != nullptr ? CMS_get0_SignerInfos(cms) : nullptr;
    if (signers == nullptr || sk_CMS_SignerInfo_num(signers) < 1) return;
    // Pairs each signer with its embedded certificate, by issuer and serial
    // number or by subject key identifier; a signer without one stays unpaired.
    CMS_set1_signers_certs(cms, nullptr, 0);
    ERR_clear_error();
    _info = sk_CMS_SignerInfo_value(signers, 0);
    CMS_SignerInfo_get0_algs(_info, nullptr, &_cert, nullptr, nullptr);
}

bool CMSSigner::AlgorithmsProtect() const {
    X509_ALGOR* digest = nullptr;
    X509_ALGOR* signature = nullptr;
    CMS_SignerInfo_get0_algs(_info, nullptr, nullptr, &digest, &signature);
    const int digestNid = digest != nullptr ? OBJ_obj2nid(digest->algorithm) : NID_undef;
    // A signature algorithm such as md5WithRSAEncryption names its own digest.
    int signatureDigestNid = NID_undef;
    if (signature == nullptr ||
        OBJ_find_sigid_algs(OBJ_obj2nid(signature->algorithm), &signatureDigestNid, nullptr) != 1)
        signatureDigestNid = NID_undef;
    if (!DigestProtects(digestNid, "The signature")) return false;
    return signatureDigestNid == NID_undef || signatureDigestNid == digestNid ||
           DigestProtects(signatureDigestNid, "The signature");
}

bool CMSSigner::SigningCertificatesMatch() const {
    const struct {
        int nid;
        SigningCertificateAttribute::Version version;
    } kinds[] = {
        {NID_id_smime_aa_signingCertificate, SigningCertificateAttribute::V1},
        {NID_id_smime_aa_signingCertificateV2, SigningCertificateAttribute::V2},
    };
    for (const auto& kind : kinds) {
        const int at = CMS_signed_get_attr_by_NID(_info, kind.nid, -1);
        if (at < 0) continue;
        // One attribute with one value, which must name the signer.
        X509_ATTRIBUTE* const attribute = CMS_signed_get_attr(_info, at);
        ASN1_TYPE* const value =
            X509_ATTRIBUTE_count(attribute) == 1 ? X509_ATTRIBUTE_get0_type(attribute, 0) : nullptr;
        const bool single = CMS_signed_get_attr_by_NID(_info, kind.nid, at) < 0;
        if (!single || value == nullptr || value->type != V_ASN1_SEQUENCE ||
            !SigningCertificateAttribute::NamesCertificate(
                kind.version, ASN1_STRING_get0_data(value->value.sequence),
                ASN1_STRING_length(value->value.sequence), _cert)) {
            LogVerify("The signing-certificate attribute does not name the signer's certificate");
            return false;
        }
    }
    return true;
}

bool CMSSigner::AttributesVerify() const {
    if (_info == nullptr || _cert == nullptr || !AlgorithmsProtect()) return false;
    if (CMS_signed_get_attr_count(_info) < 0) return true;
    if (CMS_SignerInfo_verify(_info) != 1) {
        LogFailure("Verify", "The signature does not match");
        return false;
    }
    return SigningCertificatesMatch();
}

bool CMSSigner::ContentVerifies(BIO* digests) const {
    if (_info == nullptr || _cert == nullptr || digests == nullptr) return false;
    if (CMS_SignerInfo_verify_content(_info, digests) != 1) {
        LogFailure("Verify", "The content does not match the signature");
        return false;
    }
    return true;
}

}  // namespace Crypto
