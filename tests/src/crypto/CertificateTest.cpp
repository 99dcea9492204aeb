#include <gtest/gtest.h>

#include <cstdio>

#include "crypto/Certificate.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Crypto::BigInteger;
using Crypto::Certificate;

Bytes B(std::initializer_list<int> values) {
    Bytes bytes;
    for (int v : values) bytes.push_back(static_cast<unsigned char>(v));
    return bytes;
}

Bytes Text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

TEST(Certificate, ByteBufferToHexWritesPairsSeparatedBySpaces) {
    const struct {
        Bytes bytes;
        std::string hex;
    } cases[] = {
        {{}, ""},
        {B({0x0a}), "0a"},
        {B({0x0a, 0xff}), "0a ff"},
        {B({0x00, 0x10, 0xab, 0xCD}), "00 10 ab cd"},
    };
    for (const auto& c : cases) EXPECT_EQ(Certificate::ByteBufferToHex(c.bytes), c.hex);
}

TEST(Certificate, HexToByteBufferFollowsTheSeparatorRules) {
    const struct {
        std::string text;
        Bytes bytes;
    } cases[] = {
        {"0a ff", B({0x0a, 0xff})},
        {"0A:FF:10", B({0x0a, 0xff, 0x10})},
        {"0a:Ff 1e", B({0x0a, 0xff, 0x1e})},  // both separators, either case
        {"7f", B({0x7f})},
        {"0a ff ", B({0x0a, 0xff})},   // a trailing separator ends the text
        {"0a ff 1", B({0x0a, 0xff})},  // a lone trailing digit is dropped
        {"0aff", {}},                  // pairs without a separator
        {"0a  ff", {}},                // two separators in a row
        {"0a-ff", {}},                 // another separator
        {"0g", {}},                    // not a hex digit
        {"0a ff x", {}},               // a stray character at the end
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("\"" + c.text + "\"");
        Bytes out = B({0x99});  // a previous value is replaced
        Certificate::HexToByteBuffer(c.text, out);
        EXPECT_EQ(out, c.bytes);
    }
}

TEST(Certificate, Base64MatchesPublishedVectorsBothWays) {
    const struct {
        std::string plain;
        std::string base64;
    } cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plain);
        std::string encoded = "stale";
        Certificate::ByteBufferToBase64(Text(c.plain), encoded);
        EXPECT_EQ(encoded, c.base64);
        Bytes decoded = B({1});
        Certificate::Base64ToByteBuffer(c.base64, decoded);
        EXPECT_EQ(decoded, Text(c.plain));
    }
}

TEST(Certificate, Base64BreaksLinesAfter72CharactersLikeCoreutils) {
    TestSupport::TempDir dir;
    for (const std::size_t length : {53u, 54u, 55u, 108u, 109u, 1000u}) {
        SCOPED_TRACE(length);
        Bytes bytes(length);
        for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<unsigned char>(i * 37 + 11);
        const std::string path = dir.File("data");
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        std::string expected;
        ASSERT_EQ(TestSupport::RunProgram({"base64", "-w", "72", path}, &expected), 0);
        expected.pop_back();  // no line feed at the end

        std::string encoded;
        Certificate::ByteBufferToBase64(bytes, encoded);
        EXPECT_EQ(encoded, expected);
        Bytes decoded;
        Certificate::Base64ToByteBuffer(encoded, decoded);  // the line feeds are skipped
        EXPECT_EQ(decoded, bytes);
    }
}

TEST(Certificate, Base64DecodingSkipsForeignCharactersAndNull) {
    Bytes out = B({1, 2});
    Certificate::Base64ToByteBuffer(static_cast<const char*>(nullptr), out);
    EXPECT_TRUE(out.empty());
    Certificate::Base64ToByteBuffer(" Zm9v\r\nYm*Fy\t", out);
    EXPECT_EQ(out, Text("foobar"));
}

TEST(Certificate, BigIntegerConversionsReadBytesLeastSignificantFirst) {
    EXPECT_EQ(Certificate::ByteBufferToBigInteger(B({0x2a, 0x01})), BigInteger(0x012a));
    EXPECT_EQ(Certificate::BigIntegerToByteBuffer(BigInteger(0x012a)), B({0x2a, 0x01}));
    EXPECT_EQ(Certificate::BigIntegerToByteBuffer(BigInteger(-0x012a)), B({0x2a, 0x01}));  // the magnitude
    EXPECT_TRUE(Certificate::BigIntegerToByteBuffer(BigInteger(0)).empty());
    EXPECT_EQ(Certificate::BigIntegerToByteBuffer(BigInteger(0x80)), B({0x80}));
    // "AQ==" is the byte 0x01; "ASo=" the bytes 01 2a, read least significant first.
    EXPECT_EQ(Certificate::Base64ToBigInteger("AQ=="), BigInteger(1));
    EXPECT_EQ(Certificate::Base64ToBigInteger(std::string("ASo=")), BigInteger(0x2a01));
    std::string base64;
    Certificate::BigIntegerToBase64(BigInteger(0x2a01), base64);
    EXPECT_EQ(base64, "ASo=");
}

TEST(Certificate, SerialHexRoundTripsForEveryLengthUpTo20Bytes) {
    for (int length = 1; length <= 20; ++length) {
        SCOPED_TRACE(length);
        std::string hex;
        std::string literal = "0x";
        for (int i = 0; i < length; ++i) {
            // first byte with the high bit set, as a serial that DER pads with 0x00
            const unsigned value = i == 0 ? 0x80u | static_cast<unsigned>(length) : (i * 53 + 7) & 0xff;
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02x", value);
            if (i != 0) hex += ' ';
            hex += pair;
            literal += pair;
        }
        const BigInteger serial = Certificate::HexToSerialNumber(hex);
        EXPECT_EQ(serial, BigInteger(literal));
        EXPECT_EQ(Certificate::SerialNumToHex(serial), hex);
    }
}

TEST(Certificate, SerialHexEdgeCases) {
    EXPECT_EQ(Certificate::SerialNumToHex(BigInteger(0x012a)), "01 2a");
    EXPECT_EQ(Certificate::SerialNumToHex(BigInteger(0)), "");
    EXPECT_EQ(Certificate::HexToSerialNumber(""), BigInteger(0));
    EXPECT_EQ(Certificate::HexToSerialNumber("zz"), BigInteger(0));
    EXPECT_EQ(Certificate::HexToSerialNumber("00 8a 1b"), BigInteger(0x8a1b));  // leading zero byte ignored
    EXPECT_EQ(Certificate::SerialNumToHex(Certificate::HexToSerialNumber("00 8a 1b")), "8a 1b");
}

TEST(Certificate, ReverseDataCopiesBackwardsAndWorksInPlace) {
    const unsigned char source[] = {1, 2, 3, 4, 5};
    unsigned char target[5] = {};
    EXPECT_EQ(Certificate::ReverseData(target, source, 5), target);
    EXPECT_EQ(Bytes(target, target + 5), B({5, 4, 3, 2, 1}));
    unsigned char inPlace[] = {1, 2, 3, 4};
    Certificate::ReverseData(inPlace, inPlace, 4);
    EXPECT_EQ(Bytes(inPlace, inPlace + 4), B({4, 3, 2, 1}));
    Certificate::ReverseData(target, source, 0);
    EXPECT_EQ(target[0], 5);
}

}  // namespace
