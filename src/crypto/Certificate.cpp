#include "crypto/Certificate.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

#include "common/Base64Stream.h"

namespace Crypto {

namespace {

const char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void Certificate::UnlockPrivateKey(const PromptContext& /*context*/) {}

std::string Certificate::TokenLabel() const {
    return std::string();
}

char Certificate::ValidityChar(int code) {
    if (code == Valid) return '1';
    if (code == Invalid) return '0';
    return 'X';
}

void Certificate::FormatStatus(std::string& out) const {
    out = "XXXX";
    out[0] = ValidityChar(TimeValidity());
    out[1] = ValidityChar(ChainValidity());
    out[3] = ValidityChar(CRLValidity());
}

std::string Certificate::ByteBufferToHex(const std::vector<unsigned char>& bytes) {
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const unsigned char b : bytes) {
        if (!out.empty()) out += ' ';
        out += kHexDigits[b >> 4];
        out += kHexDigits[b & 0x0f];
    }
    return out;
}

void Certificate::HexToByteBuffer(const std::string& hex, std::vector<unsigned char>& out) {
    out.clear();
    const std::size_t n = hex.size();
    std::size_t i = 0;
    while (i < n) {
        if (i + 1 >= n) {
            if (HexValue(hex[i]) < 0) out.clear();  // a stray character, not a lone digit
            return;
        }
        const int high = HexValue(hex[i]);
        const int low = HexValue(hex[i + 1]);
        if (high < 0 || low < 0) {
            out.clear();
            return;
        }
        out.push_back(static_cast<unsigned char>((high << 4) | low));
        i += 2;
        if (i >= n) return;
        if (hex[i] != ' ' && hex[i] != ':') {
            out.clear();
            return;
        }
        ++i;
    }
}

void Certificate::ByteBufferToBase64(const std::vector<unsigned char>& bytes, std::string& out) {
    out.clear();
    Util::Base64Encoder encoder;
    encoder.Encode(bytes.data(), bytes.size(), out);
    encoder.Finish(out);
    // The coder ends every 72-character line and the text with a line feed;
    // this form has none at the end.
    while (!out.empty() && out.back() == '\n') out.pop_back();
}

void Certificate::Base64ToByteBuffer(const char* text, std::vector<unsigned char>& out) {
    out.clear();
    if (text == nullptr) return;
    Util::Base64Decoder().Decode(text, std::strlen(text), out);
}

void Certificate::Base64ToByteBuffer(const std::string& text, std::vector<unsigned char>& out) {
    Base64ToByteBuffer(text.c_str(), out);
}

BigInteger Certificate::Base64ToBigInteger(const char* text) {
    std::vector<unsigned char> bytes;
    Base64ToByteBuffer(text, bytes);
    return ByteBufferToBigInteger(bytes);
}

BigInteger Certificate::Base64ToBigInteger(const std::string& text) {
    return Base64ToBigInteger(text.c_str());
}

BigInteger Certificate::ByteBufferToBigInteger(const std::vector<unsigned char>& leastSignificantFirst) {
    BigInteger value;
    if (leastSignificantFirst.empty()) return value;
    boost::multiprecision::import_bits(value, leastSignificantFirst.begin(), leastSignificantFirst.end(), 8,
                                       false);
    return value;
}

std::vector<unsigned char> Certificate::BigIntegerToByteBuffer(const BigInteger& value) {
    std::vector<unsigned char> bytes;
    if (value == 0) return bytes;
    const BigInteger magnitude = boost::multiprecision::abs(value);
    boost::multiprecision::export_bits(magnitude, std::back_inserter(bytes), 8, false);
    while (bytes.size() > 1 && bytes.back() == 0) bytes.pop_back();
    return bytes;
}

void Certificate::BigIntegerToBase64(const BigInteger& value, std::string& out) {
    ByteBufferToBase64(BigIntegerToByteBuffer(value), out);
}

std::string Certificate::SerialNumToHex(const BigInteger& serial) {
    std::vector<unsigned char> bytes = BigIntegerToByteBuffer(serial);
    std::reverse(bytes.begin(), bytes.end());
    return ByteBufferToHex(bytes);
}

BigInteger Certificate::HexToSerialNumber(const std::string& hex) {
    std::vector<unsigned char> bytes;
    HexToByteBuffer(hex, bytes);
    std::reverse(bytes.begin(), bytes.end());
    return ByteBufferToBigInteger(bytes);
}

unsigned char* Certificate::ReverseData(unsigned char* dst, const unsigned char* src, std::size_t len) {
    if (dst == src) {  // in place: swap pairs instead of overwriting what is still to be read
        std::reverse(dst, dst + len);
        return dst;
    }
    for (std::size_t i = 0; i < len; ++i) dst[len - 1 - i] = src[i];
    return dst;
}

}  // namespace Crypto
