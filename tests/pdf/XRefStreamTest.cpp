#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/posix/FilePtr.h"
#include "pdf/Exception.h"
#include "pdf/XRefStream.h"
#include "pdf/XRefs.h"
#include "support/TempDir.h"

namespace {

using PDF::XRefSection;
using PDF::XRefStream;

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        out += digits[static_cast<unsigned char>(c) & 0xF];
    }
    return out;
}

TEST(XRefStream, FieldsAreAsWideAsTheirLargestValue) {
    const struct {
        const char* name;
        std::vector<XRefSection::Entry> entries;
        std::array<int, 3> widths;
        std::vector<std::pair<int, int>> index;
        std::string hex;  // the entries, uncompressed
    } cases[] = {
        {"three runs",
         {{12, 0, 70000, false},
          {5, 0, 100, false},
          {0, 65535, 0, true},
          {7, 2, 300, false},
          {6, 0, 200, false}},
         {1, 3, 2},
         {{0, 1}, {5, 3}, {12, 1}},
         "00000000FFFF"
         "010000640000"
         "010000C80000"
         "0100012C0002"
         "010111700000"},
        {"the largest offset",
         {{0, 65535, 0, true}, {1, 0, 2147483647, false}},
         {1, 4, 2},
         {{0, 2}},
         "0000000000FFFF"
         "017FFFFFFF0000"},
        {"one byte each; the later entry of a number counts",
         {{3, 0, 17, false}, {3, 1, 99, false}},
         {1, 1, 1},
         {{3, 1}},
         "016301"},
        // A free entry names no next free object, whatever offset it has.
        {"a free entry", {{4, 1, 5000, true}}, {1, 1, 1}, {{4, 1}}, "000001"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const XRefStream::Layout layout = XRefStream::Format(c.entries);
        EXPECT_EQ(layout.widths, c.widths);
        EXPECT_EQ(layout.index, c.index);
        EXPECT_EQ(Hex(layout.data), c.hex);
    }
}

TEST(XRefStream, MustStartWhereTheCollectorsSectionDoes) {
    const TestSupport::TempDir dir;
    Util::FilePtr out(std::fopen(dir.File("out.pdf").c_str(), "w+b"));
    ASSERT_TRUE(out);
    std::fputs("%PDF-1.5\n", out.get());
    PDF::XRefs xrefs(true);  // WriteOut not called: no section start yet
    try {
        XRefStream::WriteOut(nullptr, nullptr, out.get(), xrefs, nullptr, 7);
        ADD_FAILURE() << "no exception";
    } catch (const PDF::Exception& e) {
        EXPECT_EQ(e.Code(), PDF::Code::kBadLayout);
    }
    xrefs.WriteOut(out.get());
    EXPECT_EQ(std::ftell(out.get()), 9) << "a stream-form collector writes no table";
}

}  // namespace
