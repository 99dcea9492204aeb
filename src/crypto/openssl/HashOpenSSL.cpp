#include "crypto/openssl/HashOpenSSL.h"

#include "common/Logger.h"
#include "crypto/openssl/CryptoUtils.h"

namespace Crypto {

HashOpenSSL::HashOpenSSL(HashType type)
    : _type(type), _md(CryptoUtils::HashTypeToAlgo(type)), _ctx(EVP_MD_CTX_new()) {
    Reset();
}

void HashOpenSSL::Reset() {
    _started = _ctx != nullptr && EVP_DigestInit_ex(_ctx.get(), _md, nullptr) == 1;
    if (!_started) {
        Logger::Get()->SetFunc("Reset");
        Logger::Get()->Log("Digest initialisation failed: %s", TakeOpenSSLError().c_str());
    }
}

void HashOpenSSL::FeedData(const unsigned char* data, unsigned int length) {
    if (!_started || length == 0) return;
    if (EVP_DigestUpdate(_ctx.get(), data, length) != 1) {
        _started = false;  // a digest that missed bytes must not be read
        Logger::Get()->SetFunc("FeedData");
        Logger::Get()->Log("Digest update failed: %s", TakeOpenSSLError().c_str());
    }
}

std::vector<unsigned char> HashOpenSSL::GetData() {
    if (!_started) return {};
    _started = false;
    std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(_ctx.get(), digest.data(), &length) != 1) {
        Logger::Get()->SetFunc("GetData");
        Logger::Get()->Log("Digest final failed: %s", TakeOpenSSLError().c_str());
        return {};
    }
    digest.resize(length);
    return digest;
}

}  // namespace Crypto
