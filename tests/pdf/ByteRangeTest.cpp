#include <gtest/gtest.h>

#include <string>

#include "pdf/ByteRange.h"
#include "pdf/ObjectPrinter.h"
#include "tests/pdf/MuPDFFixture.h"

namespace {

using PDF::ByteRange;

TEST(ByteRange, WorkedExample) {
    const ByteRange range = ByteRange::ForDictionaryAt(10000, 6656);
    EXPECT_EQ(ByteRange::PlaceholderOffset(10000), 10012);
    EXPECT_EQ(range.b1, 0);
    EXPECT_EQ(range.b2, 10058);
    EXPECT_EQ(range.b3, 23372);
    EXPECT_EQ(range.FixedText(30000).value(), "[0 10058 23372 6628]" + std::string(17, ' '));
}

TEST(ByteRange, FixedTextAlwaysFillsThePlaceholderExactly) {
    const struct {
        int headerEnd;
        unsigned long reserve;
        int end;
        const char* text;  // null: refused
    } cases[] = {
        {10000, 6656, 30000, "[0 10058 23372 6628]                 "},
        {100, 10, 200, "[0 158 180 20]                       "},
        {100, 10, 180, "[0 158 180 0]                        "},
        {100, 10, 179, nullptr},  // the file ends inside the hole
        {2000000000, 6656, 2100000000, "[0 2000000058 2000013372 99986628]   "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        const auto text = ByteRange::ForDictionaryAt(c.headerEnd, c.reserve).FixedText(c.end);
        if (c.text == nullptr) {
            EXPECT_FALSE(text.has_value());
        } else {
            ASSERT_TRUE(text.has_value());
            EXPECT_EQ(*text, c.text);
            EXPECT_EQ(text->size(), ByteRange::Placeholder().size());
        }
    }
}

class SignatureDictionaryLayout : public TestSupport::MuPDFFixture {};

// The printed dictionary puts the placeholder and the hole exactly where the
// offsets say, for the reserve of a signer alone and for others.
TEST_F(SignatureDictionaryLayout, OffsetsMatchThePrintedDictionary) {
    for (const unsigned long reserve : {6656ul, 3ul, 100ul, 20000ul}) {
        SCOPED_TRACE(reserve);
        pdf_obj* dict = Keep(pdf_new_dict(Ctx(), nullptr, 8));
        pdf_obj* array = Keep(pdf_new_array(Ctx(), nullptr, 4));
        for (int i = 0; i < 4; ++i) pdf_array_push_int(Ctx(), array, 99999999);
        pdf_dict_puts(Ctx(), dict, "ByteRange", array);
        pdf_dict_puts(Ctx(), dict, "Contents", String(ByteRange::ContentsReserve(reserve)));
        pdf_dict_puts(Ctx(), dict, "Filter", Name("Adobe.PPKLite"));
        pdf_dict_puts(Ctx(), dict, "SubFilter", Name("adbe.pkcs7.detached"));
        pdf_dict_puts(Ctx(), dict, "Type", Name("Sig"));
        const std::string printed = PDF::ObjectPrinter::Print(Ctx(), dict);

        const int headerEnd = 0;  // offsets relative to the dictionary's first byte
        const ByteRange range = ByteRange::ForDictionaryAt(headerEnd, reserve);
        EXPECT_EQ(printed.compare(ByteRange::PlaceholderOffset(headerEnd), ByteRange::kPlaceholderLength,
                                  ByteRange::Placeholder()),
                  0);
        ASSERT_EQ(printed[range.b2], '<');
        EXPECT_EQ(printed.compare(range.b2 + 1, 6, "F0F2F3"), 0);
        ASSERT_EQ(printed[range.b3 - 1], '>');
        EXPECT_EQ(printed.substr(range.b2 + 7, 2 * reserve - 6), std::string(2 * reserve - 6, '0'));
        EXPECT_EQ(printed.substr(range.b3), "/Filter/Adobe.PPKLite/SubFilter/adbe.pkcs7.detached/Type/Sig>>");
    }
    // The reserve of a signer alone: 13312 hexadecimal digits.
    const ByteRange range = ByteRange::ForDictionaryAt(0, 6656);
    EXPECT_EQ(range.b3 - 1 - (range.b2 + 1), 13312);
}

}  // namespace
