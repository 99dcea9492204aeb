#include "crypto/openssl/TimeStampTokenOpenSSL.h"

#include <cstring>
#include <vector>

#include "common/Logger.h"
#include "crypto/openssl/CMSSigner.h"

namespace Crypto {

namespace {

void Log(const char* func, const char* text) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("%s", text);
}

// Reads the embedded content through the digest filters CMS_dataInit set up.
bool Drain(BIO* content) {
    std::vector<unsigned char> piece(4096);
    for (;;) {
        const int got = BIO_read(content, piece.data(), static_cast<int>(piece.size()));
        if (got > 0) continue;
        return got == 0 || BIO_eof(content) == 1;
    }
}

}  // namespace

TimeStampTokenOpenSSL::TimeStampTokenOpenSSL() = default;

TimeStampTokenOpenSSL::~TimeStampTokenOpenSSL() = default;

bool TimeStampTokenOpenSSL::Load(const unsigned char* token, unsigned long tokenLength,
                                 unsigned long contentSize) {
    _token.reset();
    _info.reset();
    _digest.reset();
    _genTime = -1;
    _contentSize = contentSize;
    _contentFed = 0;
    CMSPtr decoded = CMSSigner::DecodeSignedData(token, tokenLength, "Load");
    if (!decoded) return false;
    ASN1_OCTET_STRING** const content = CMS_get0_content(decoded.get());
    if (OBJ_obj2nid(CMS_get0_eContentType(decoded.get())) != NID_id_smime_ct_TSTInfo || content == nullptr ||
        *content == nullptr) {
        Log("Load", "The token carries no time-stamp information");
        return false;
    }
    const unsigned char* p = ASN1_STRING_get0_data(*content);
    TSTInfoPtr info(d2i_TS_TST_INFO(nullptr, &p, ASN1_STRING_length(*content)));
    if (!info) {
        Logger::Get()->SetFunc("Load");
        Logger::Get()->Log("The time-stamp information cannot be decoded: %s", TakeOpenSSLError().c_str());
        return false;
    }

    std::tm when{};
    const ASN1_GENERALIZEDTIME* const genTime = TS_TST_INFO_get_time(info.get());
    if (genTime != nullptr && ASN1_TIME_to_tm(genTime, &when) == 1) _genTime = timegm(&when);
    ERR_clear_error();

    // An imprint digest OpenSSL does not know leaves nothing to compare:
    // Verify then fails.
    const X509_ALGOR* const algorithm = TS_MSG_IMPRINT_get_algo(TS_TST_INFO_get_msg_imprint(info.get()));
    const EVP_MD* const md = algorithm != nullptr ? EVP_get_digestbyobj(algorithm->algorithm) : nullptr;
    if (md != nullptr) {
        MDCtxPtr digest(EVP_MD_CTX_new());
        if (!digest || EVP_DigestInit_ex(digest.get(), md, nullptr) != 1) {
            Log("Load", "The imprint digest cannot be started");
            ERR_clear_error();
            return false;
        }
        _digest = std::move(digest);
    }
    _token = std::move(decoded);
    _info = std::move(info);
    return true;
}

bool TimeStampTokenOpenSSL::FeedContent(const unsigned char* data, unsigned long length, bool /*last*/) {
    if (!_digest) return true;
    if (length > _contentSize - _contentFed) return false;
    if (length == 0) return true;
    if (data == nullptr || EVP_DigestUpdate(_digest.get(), data, length) != 1) {
        Log("FeedContent", "Digesting the content failed");
        ERR_clear_error();
        return false;
    }
    _contentFed += length;
    return true;
}

bool TimeStampTokenOpenSSL::ImprintMatches() const {
    if (!_digest) {
        Log("Verify", "The token's imprint digest is unknown");
        return false;
    }
    if (!CMSSigner::DigestProtects(EVP_MD_get_type(EVP_MD_CTX_get0_md(_digest.get())),
                                   "The time-stamp imprint"))
        return false;
    // A copy is finished, so that the token can be verified again.
    const MDCtxPtr copy(EVP_MD_CTX_new());
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!copy || EVP_MD_CTX_copy_ex(copy.get(), _digest.get()) != 1 ||
        EVP_DigestFinal_ex(copy.get(), value, &length) != 1) {
        ERR_clear_error();
        return false;
    }
    const ASN1_OCTET_STRING* const imprint = TS_MSG_IMPRINT_get_msg(TS_TST_INFO_get_msg_imprint(_info.get()));
    if (imprint == nullptr || ASN1_STRING_length(imprint) != static_cast<int>(length) ||
        std::memcmp(ASN1_STRING_get0_data(imprint), value, length) != 0) {
        Log("Verify", "The token's message imprint is not the digest of the covered bytes");
        return false;
    }
    return true;
}

bool TimeStampTokenOpenSSL::Verify() {
    Log("Verify", "Verifying CMS\xE2\x80\xA6");
    if (!_token || !_info) return false;
    const CMSSigner signer(_token.get());
    if (!signer.Found()) {
        Log("Verify", "The token has no signer");
        return false;
    }
    _signerCert.reset();
    if (signer.Certificate() == nullptr) {
        Log("Verify", "The authority's certificate is not in the token");
        return false;
    }
    _signerCert = std::make_unique<CertificateOpenSSL>(signer.Certificate());
    if (!signer.AttributesVerify()) return false;

    const BIOPtr content(CMS_dataInit(_token.get(), nullptr));
    if (!content || !Drain(content.get()) || !signer.ContentVerifies(content.get())) {
        Log("Verify", "The authority's signature does not cover the time-stamp information");
        ERR_clear_error();
        return false;
    }
    // Only a certificate made for time-stamping (extended key usage
    // timeStamping, critical, and no other) makes a time-stamping authority.
    if (X509_check_purpose(signer.Certificate(), X509_PURPOSE_TIMESTAMP_SIGN, 0) != 1) {
        Log("Verify", "The token's signer is not a time-stamping authority");
        ERR_clear_error();
        return false;
    }
    return ImprintMatches();
}

}  // namespace Crypto
