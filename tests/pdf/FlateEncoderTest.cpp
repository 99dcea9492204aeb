#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "pdf/FlateEncoder.h"

namespace {

using PDF::FlateEncoder;

std::vector<unsigned char> Bytes(const std::string& text) {
    return std::vector<unsigned char>(text.begin(), text.end());
}

std::vector<unsigned char> Noise(size_t size) {
    std::mt19937 random(12345);
    std::vector<unsigned char> out(size);
    for (unsigned char& b : out) b = static_cast<unsigned char>(random() & 0xFF);
    return out;
}

// zlib's own one-shot inflate.
std::vector<unsigned char> Inflate(const std::vector<unsigned char>& packed, size_t size) {
    std::vector<unsigned char> out(size + 1);
    uLongf length = static_cast<uLongf>(out.size());
    EXPECT_EQ(uncompress(out.data(), &length, packed.data(), static_cast<uLong>(packed.size())), Z_OK);
    out.resize(length);
    return out;
}

// Length zlib's one-shot compress gives at the default level.
size_t ReferenceLength(const std::vector<unsigned char>& data) {
    std::vector<unsigned char> out(compressBound(static_cast<uLong>(data.size())));
    uLongf length = static_cast<uLongf>(out.size());
    EXPECT_EQ(
        compress2(out.data(), &length, data.data(), static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION),
        Z_OK);
    return length;
}

TEST(FlateEncoder, CompressesAtTheDefaultLevelWhenTheResultFits) {
    const std::vector<unsigned char> raster(680 * 226 * 3, 0xEE);
    const std::vector<std::vector<unsigned char>> inputs = {
        Bytes("1 1 m 1 1 l S"),
        Bytes("680 0 0 226 0 0 cm /imgWatermark Do "),
        raster,
    };
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.size());
        const auto result =
            FlateEncoder::Encode(input.data(), input.size(), FlateEncoder::ContentCapacity(input.size()));
        ASSERT_EQ(result.status, FlateEncoder::Status::Ok);
        ASSERT_GE(result.data.size(), 2u);
        EXPECT_EQ(result.data[0], 0x78);  // zlib format, 32K window
        EXPECT_EQ(result.data[1], 0x9C);  // default level
        EXPECT_EQ(result.data.size(), ReferenceLength(input));
        EXPECT_EQ(Inflate(result.data, input.size()), input);
    }
}

TEST(FlateEncoder, RefusesAResultBeyondTheCapacity) {
    const std::vector<unsigned char> noise = Noise(30000);
    const std::vector<unsigned char> text = Bytes(std::string(5000, 'a') + "tail");
    const size_t textLength = ReferenceLength(text);
    const struct {
        const std::vector<unsigned char>* data;
        size_t capacity;
        FlateEncoder::Status status;
    } cases[] = {
        {&noise, noise.size(), FlateEncoder::Status::TooLarge},  // does not compress below its raw size
        {&noise, noise.size() * 2, FlateEncoder::Status::Ok},
        {&text, textLength, FlateEncoder::Status::Ok},  // fits exactly
        {&text, textLength - 1, FlateEncoder::Status::TooLarge},
        {&text, 0, FlateEncoder::Status::TooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.data->size()) + " bytes into " + std::to_string(c.capacity));
        const auto result = FlateEncoder::Encode(c.data->data(), c.data->size(), c.capacity);
        EXPECT_EQ(result.status, c.status);
        if (c.status == FlateEncoder::Status::Ok)
            EXPECT_EQ(Inflate(result.data, c.data->size()), *c.data);
        else
            EXPECT_TRUE(result.data.empty());
    }
}

TEST(FlateEncoder, EmptyInputNeedsRoomForTheStreamFrame) {
    EXPECT_EQ(FlateEncoder::Encode(nullptr, 0, 0).status, FlateEncoder::Status::TooLarge);
    const auto result = FlateEncoder::Encode(nullptr, 0, FlateEncoder::ContentCapacity(0));
    ASSERT_EQ(result.status, FlateEncoder::Status::Ok);
    EXPECT_TRUE(Inflate(result.data, 0).empty());
}

}  // namespace
