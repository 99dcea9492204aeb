#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

extern "C" {  // the libb64 C header has no C++ guard
#include <b64/cencode.h>
}

#include "common/Base64Stream.h"

namespace {

std::string Decoded(Util::Base64Decoder& decoder, const std::string& text) {
    std::vector<unsigned char> out;
    decoder.Decode(text.data(), text.size(), out);
    return std::string(out.begin(), out.end());
}

// The bytes 0 to 255 in standard Base64 (RFC 4648, made by an independent
// encoder), without line breaks.
const char kAllBytes64[] =
    "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+"
    "P0BBQkNERUZHSElKS0xNTk9QUVJT"
    "VFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3BxcnN0dXZ3eHl6e3x9fn+"
    "AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaan"
    "qKmqq6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5OXm5+jp6uvs7e7v8PHy8/"
    "T19vf4+fr7"
    "/P3+/w==";

std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    return bytes;
}

// RFC 4648, section 10.
const std::pair<const char*, const char*> kVectors[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64Decoder, DecodesPublishedVectorsWholeAndSkipsLineBreaks) {
    Util::Base64Decoder decoder;
    for (const auto& [plain, text] : kVectors) {
        SCOPED_TRACE(text);
        decoder.Reset();
        EXPECT_EQ(Decoded(decoder, text), plain);
    }
    decoder.Reset();
    EXPECT_EQ(Decoded(decoder, "Zm9v\r\nYmFy\n"), "foobar");
    decoder.Reset();
    EXPECT_EQ(Decoded(decoder, kAllBytes64), AllBytes());
}

// Every way of cutting a text into two pieces gives the same bytes. The
// pieces are decoded into fresh buffers, as a feed does, so that a write or
// read past the room reserved for a piece lands outside its allocation
// (the valgrind run of this test reports it): the case that needs the most
// room is one character left pending and 4m + 3 characters after it ("J",
// then "VBE").
TEST(Base64Decoder, GivesTheSameBytesAtEverySplitPoint) {
    const std::string texts[] = {"JVBE", "JVBERi0x", "JVBERi0xLjQK", kAllBytes64, "Zm9v\nYmE="};
    for (const std::string& text : texts) {
        std::string whole;
        {
            Util::Base64Decoder decoder;
            whole = Decoded(decoder, text);
        }
        for (std::size_t cut = 0; cut <= text.size(); ++cut) {
            SCOPED_TRACE(text.substr(0, 12) + " cut at " + std::to_string(cut));
            Util::Base64Decoder decoder;
            const std::string first = Decoded(decoder, text.substr(0, cut));
            const std::string second = Decoded(decoder, text.substr(cut));
            EXPECT_EQ(first + second, whole);
        }
    }
}

TEST(Base64Decoder, GivesTheSameBytesInPiecesOfEverySmallSize) {
    for (std::size_t size = 1; size <= 9; ++size) {
        SCOPED_TRACE("pieces of " + std::to_string(size));
        Util::Base64Decoder decoder;
        std::string bytes;
        const std::string text = kAllBytes64;
        for (std::size_t at = 0; at < text.size(); at += size)
            bytes += Decoded(decoder, text.substr(at, size));
        EXPECT_EQ(bytes, AllBytes());
    }
}

std::string WithoutLineFeeds(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    return text;
}

TEST(Base64Encoder, EncodesPublishedVectorsWithAClosingLineFeed) {
    Util::Base64Encoder encoder;
    for (const auto& [plain, text] : kVectors) {
        SCOPED_TRACE(plain);
        encoder.Reset();
        std::string out;
        encoder.Encode(reinterpret_cast<const unsigned char*>(plain), std::char_traits<char>::length(plain),
                       out);
        encoder.Finish(out);
        EXPECT_EQ(out, std::string(text) + "\n");
    }
}

// Lines of 72 characters counted across pieces, whatever their size.
TEST(Base64Encoder, BreaksLinesAfter72CharactersAcrossPieces) {
    const std::string bytes = AllBytes();
    for (const std::size_t size : {1, 2, 3, 5, 54, 55, 256}) {
        SCOPED_TRACE("pieces of " + std::to_string(size));
        Util::Base64Encoder encoder;
        std::string out;
        for (std::size_t at = 0; at < bytes.size(); at += size) {
            const std::size_t n = std::min(size, bytes.size() - at);
            encoder.Encode(reinterpret_cast<const unsigned char*>(bytes.data() + at), n, out);
        }
        encoder.Finish(out);
        EXPECT_EQ(WithoutLineFeeds(out), kAllBytes64);
        std::size_t lineStart = 0;
        for (std::size_t feed = out.find('\n'); feed != std::string::npos; feed = out.find('\n', lineStart)) {
            if (feed + 1 < out.size()) {
                EXPECT_EQ(feed - lineStart, 72u) << "line at " << lineStart;
            }
            lineStart = feed + 1;
        }
        EXPECT_EQ(out.back(), '\n');
    }
}

// Each piece gives the very text the C coder gives for it (the page sees the
// pieces): whole groups are encoded beside the coder, the bytes around them
// by it.
TEST(Base64Encoder, GivesTheCCodersTextPieceByPiece) {
    std::string bytes(5000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7919 + (i >> 3)) & 0xFF);
    for (const std::size_t size : {1, 2, 4, 5, 53, 54, 55, 56, 512, 1000, 5000}) {
        SCOPED_TRACE("pieces of " + std::to_string(size));
        Util::Base64Encoder encoder;
        base64_encodestate reference;
        base64_init_encodestate(&reference);
        std::vector<char> expected(2 * size + 16);
        for (std::size_t at = 0; at < bytes.size(); at += size) {
            const std::size_t n = std::min(size, bytes.size() - at);
            std::string piece;
            encoder.Encode(reinterpret_cast<const unsigned char*>(bytes.data() + at), n, piece);
            const int written =
                base64_encode_block(bytes.data() + at, static_cast<int>(n), expected.data(), &reference);
            ASSERT_EQ(piece, std::string(expected.data(), static_cast<std::size_t>(written)))
                << "piece at " << at;
        }
        std::string last;
        encoder.Finish(last);
        const int written = base64_encode_blockend(expected.data(), &reference);
        EXPECT_EQ(last, std::string(expected.data(), static_cast<std::size_t>(written)));
    }
}

}  // namespace
