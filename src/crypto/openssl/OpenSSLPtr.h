#pragma once

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/ts.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <string>

namespace Crypto {

// One deleter type per OpenSSL free function.
template <auto FreeFn>
struct FreeWith {
    template <typename T>
    void operator()(T* p) const noexcept {
        FreeFn(p);
    }
};

inline void FreeX509Stack(STACK_OF(X509) * stack) noexcept {
    sk_X509_pop_free(stack, X509_free);
}
inline void FreeOpenSSLString(char* text) noexcept {
    OPENSSL_free(text);
}

using BIOPtr = std::unique_ptr<BIO, FreeWith<&BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, FreeWith<&X509_free>>;
using X509CRLPtr = std::unique_ptr<X509_CRL, FreeWith<&X509_CRL_free>>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), FreeWith<&FreeX509Stack>>;
using EVPPKeyPtr = std::unique_ptr<EVP_PKEY, FreeWith<&EVP_PKEY_free>>;
using EVPPKeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, FreeWith<&EVP_PKEY_CTX_free>>;
using MDCtxPtr = std::unique_ptr<EVP_MD_CTX, FreeWith<&EVP_MD_CTX_free>>;
using CMSPtr = std::unique_ptr<CMS_ContentInfo, FreeWith<&CMS_ContentInfo_free>>;
using TSTInfoPtr = std::unique_ptr<TS_TST_INFO, FreeWith<&TS_TST_INFO_free>>;
using PKCS12Ptr = std::unique_ptr<PKCS12, FreeWith<&PKCS12_free>>;
using BIGNUMPtr = std::unique_ptr<BIGNUM, FreeWith<&BN_free>>;
using ASN1OctetStringPtr = std::unique_ptr<ASN1_OCTET_STRING, FreeWith<&ASN1_OCTET_STRING_free>>;
using ASN1BitStringPtr = std::unique_ptr<ASN1_BIT_STRING, FreeWith<&ASN1_BIT_STRING_free>>;
using OpenSSLStringPtr = std::unique_ptr<char, FreeWith<&FreeOpenSSLString>>;

// The reason of the last OpenSSL error, and the error queue emptied, so that
// one failure is not reported again by a later, unrelated call.
inline std::string TakeOpenSSLError() {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
    std::string text =
        reason != nullptr ? reason : (code != 0 ? "error " + std::to_string(code) : "no reason given");
    ERR_clear_error();
    return text;
}

}  // namespace Crypto
