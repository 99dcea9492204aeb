#include "crypto/Certificate.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace Crypto {

namespace {

const char kHexDigits[] = "0123456789abcdef";
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kBase64LineLength = 72;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

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
    std::size_t lineLength = 0;
    auto put = [&](char c) {
        if (lineLength == kBase64LineLength) {
            out += '\n';
            lineLength = 0;
        }
        out += c;
        ++lineLength;
    };
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        put(kBase64Alphabet[(v >> 18) & 63]);
        put(kBase64Alphabet[(v >> 12) & 63]);
        put(kBase64Alphabet[(v >> 6) & 63]);
        put(kBase64Alphabet[v & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest == 1) {
        const unsigned v = bytes[i] << 16;
        put(kBase64Alphabet[(v >> 18) & 63]);
        put(kBase64Alphabet[(v >> 12) & 63]);
        put('=');
        put('=');
    } else if (rest == 2) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8);
        put(kBase64Alphabet[(v >> 18) & 63]);
        put(kBase64Alphabet[(v >> 12) & 63]);
        put(kBase64Alphabet[(v >> 6) & 63]);
        put('=');
    }
}

void Certificate::Base64ToByteBuffer(const char* text, std::vector<unsigned char>& out) {
    out.clear();
    if (text == nullptr) return;
    unsigned bits = 0;
    int count = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const int v = Base64Value(*p);
        if (v < 0) continue;
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<unsigned char>((bits >> count) & 0xff));
        }
    }
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
