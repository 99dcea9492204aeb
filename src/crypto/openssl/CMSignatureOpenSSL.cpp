#include "crypto/openssl/CMSignatureOpenSSL.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/Logger.h"
#include "crypto/CryptoCodes.h"
#include "crypto/Exception.h"
#include "crypto/openssl/CMSSigner.h"
#include "crypto/openssl/TokenKey.h"

namespace Crypto {

namespace {

constexpr std::uint32_t kBaseReservation = 6144;
constexpr std::uint32_t kReservationPerCertificate = 2048;

// Writes everything through a BIO chain, in pieces an int can count.
bool WriteAll(BIO* bio, const unsigned char* data, unsigned long length) {
    while (length > 0) {
        const int piece = static_cast<int>(std::min<unsigned long>(length, INT_MAX / 2));
        if (BIO_write(bio, data, piece) != piece) return false;
        data += piece;
        length -= static_cast<unsigned long>(piece);
    }
    return true;
}

void LogFailure(const char* func, const char* what) {
    Logger::Get()->SetFunc(func);
    Logger::Get()->Log("%s: %s", what, TakeOpenSSLError().c_str());
}

}  // namespace

CMSignatureOpenSSL::CMSignatureOpenSSL() = default;

CMSignatureOpenSSL::~CMSignatureOpenSSL() = default;

void CMSignatureOpenSSL::SetSigner(Certificate* signer) {
    auto* candidate = dynamic_cast<CertificateOpenSSL*>(signer);
    _signer = (candidate != nullptr && candidate->HasPrivateKey() && candidate->X509Handle() != nullptr)
                  ? candidate
                  : nullptr;
}

void CMSignatureOpenSSL::AddCert(Certificate* certificate) {
    auto* candidate = dynamic_cast<CertificateOpenSSL*>(certificate);
    if (candidate != nullptr && candidate->X509Handle() != nullptr) _certs.push_back(candidate);
}

std::uint32_t CMSignatureOpenSSL::GetSize(Hash::HashType /*type*/) const {
    return kBaseReservation + kReservationPerCertificate * static_cast<std::uint32_t>(_certs.size());
}

bool CMSignatureOpenSSL::InitSign() {
    _encoderInput.reset();
    _encoder.reset();
    _finished = false;
    _encoded.clear();
    if (_signer == nullptr) return false;

    const unsigned int flags = CMS_DETACHED | CMS_BINARY | CMS_PARTIAL | CMS_STREAM;
    CMSPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    if (!cms) {
        LogFailure("InitSign", "CMS_sign failed");
        return false;
    }
    X509* const signerCert = _signer->X509Handle();
    EVP_PKEY* const key = _signer->PrivateKey();
    if (key == nullptr) {
        // An encrypted key or a key on a token opens first (UnlockPrivateKey).
        Logger::Get()->SetFunc("InitSign");
        Logger::Get()->Log("The signer's private key is not open");
        return false;
    }
    if (CMS_add1_signer(cms.get(), signerCert, key, EVP_sha256(), CMS_BINARY | CMS_PARTIAL) == nullptr) {
        LogFailure("InitSign", "CMS_add1_signer failed");
        return false;
    }
    std::vector<X509*> embedded{signerCert};
    for (CertificateOpenSSL* cert : _certs) {
        X509* const x509 = cert->X509Handle();
        // A certificate is embedded once; adding it twice is an error for OpenSSL.
        if (std::any_of(embedded.begin(), embedded.end(), [&](X509* e) { return X509_cmp(e, x509) == 0; }))
            continue;
        if (CMS_add1_cert(cms.get(), x509) != 1) {
            LogFailure("InitSign", "CMS_add1_cert failed");
            return false;
        }
        embedded.push_back(x509);
    }
    if (CMS_set_detached(cms.get(), 1) != 1) {
        LogFailure("InitSign", "CMS_set_detached failed");
        return false;
    }
    BIOPtr input(CMS_dataInit(cms.get(), nullptr));
    if (!input) {
        LogFailure("InitSign", "CMS_dataInit failed");
        return false;
    }
    _encoder = std::move(cms);
    _encoderInput = std::move(input);
    return true;
}

bool CMSignatureOpenSSL::FeedContent(const unsigned char* data, unsigned long length, bool /*last*/) {
    if (_contentSize != kNoMessage) {  // verification
        if (!_decoderInput) return true;
        if (length > _contentSize - _contentFed) return false;
        if (length == 0) return true;
        if (data == nullptr || !WriteAll(_decoderInput.get(), data, length)) {
            LogFailure("FeedContent", "Digesting the content failed");
            return false;
        }
        _contentFed += length;
        return true;
    }
    if (_signer == nullptr || !_encoderInput) return true;
    if (_finished) return false;  // the message is already made
    if (length == 0) return true;
    if (data == nullptr || !WriteAll(_encoderInput.get(), data, length)) {
        LogFailure("FeedContent", "Digesting the content failed");
        return false;
    }
    return true;
}

bool CMSignatureOpenSSL::Finish() {
    if (BIO_flush(_encoderInput.get()) != 1 || CMS_dataFinal(_encoder.get(), _encoderInput.get()) != 1) {
        if (!_signer->TokenLabel().empty() && TokenKey::TokenErrorPending()) {
            // The token refused to sign with a key that opened: it has gone
            // since, or wants its PIN again.
            const int code = TokenKey::CodeOf(TokenKey::TakeTokenError());
            Logger::Get()->SetFunc("Sign");
            Logger::Get()->Log("The token \"%s\" did not sign", _signer->TokenLabel().c_str());
            throw Exception(
                code == Code::kWrongPin || code == Code::kPinLocked ? code : Code::kTokenUnavailable,
                "The token \"" + _signer->TokenLabel() + "\" did not sign");
        }
        LogFailure("Sign", "CMS_dataFinal failed");
        return false;
    }
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(_encoder.get(), &der);
    if (length <= 0) {
        LogFailure("Sign", "i2d_CMS_ContentInfo failed");
        return false;
    }
    const OpenSSLStringPtr owner(reinterpret_cast<char*>(der));
    _encoded.assign(der, der + length);
    _finished = true;
    return true;
}

bool CMSignatureOpenSSL::Sign(unsigned char* out, unsigned long& size) {
    if (!_encoder || _signer == nullptr) return false;
    if (!_finished && !Finish()) return false;
    if (_encoded.empty() || _encoded.size() > size) return false;
    size = static_cast<unsigned long>(_encoded.size());
    if (out == nullptr) return false;
    std::memcpy(out, _encoded.data(), _encoded.size());
    return true;
}

bool CMSignatureOpenSSL::Load(const unsigned char* cms, unsigned long cmsLength, unsigned long contentSize) {
    _decoderInput.reset();
    _decoder.reset();
    _contentSize = contentSize;
    _contentFed = 0;
    CMSPtr decoded = CMSSigner::DecodeSignedData(cms, cmsLength, "Load");
    if (!decoded) return false;
    BIOPtr sink(BIO_new(BIO_s_null()));
    if (!sink) return false;
    BIOPtr input(CMS_dataInit(decoded.get(), sink.get()));
    if (!input) {
        LogFailure("Load", "CMS_dataInit failed");
        return false;
    }
    sink.release();  // now the tail of the input chain
    _decoder = std::move(decoded);
    _decoderInput = std::move(input);
    return true;
}

bool CMSignatureOpenSSL::Verify() {
    Logger::Get()->SetFunc("Verify");
    Logger::Get()->Log("Verifying CMS\xE2\x80\xA6");
    if (!_decoder || !_decoderInput) return false;
    const CMSSigner signer(_decoder.get());
    if (!signer.Found()) {
        Logger::Get()->Log("The message has no signer");
        return false;
    }
    _signerCert.reset();
    if (signer.Certificate() == nullptr) {
        Logger::Get()->Log("The signer certificate is not in the message");
        return false;
    }
    _signerCert = std::make_unique<CertificateOpenSSL>(signer.Certificate());

    if (BIO_flush(_decoderInput.get()) != 1) return false;
    return signer.AttributesVerify() && signer.ContentVerifies(_decoderInput.get());
}

}  // namespace Crypto
