#include <gtest/gtest.h>

#include <string>

#include "pdf/DictEdit.h"
#include "pdf/ObjectPrinter.h"
#include "tests/pdf/MuPDFFixture.h"

namespace {

using PDF::DictEdit;
using PDF::ObjectPrinter;

class DictEditTest : public TestSupport::MuPDFFixture {
protected:
    std::string Print(pdf_obj* obj) { return ObjectPrinter::Print(Ctx(), obj); }

    // Runs one edit inside fz_try; false when MuPDF raised an error.
    template <typename Edit>
    bool Run(Edit edit, bool& ordered) {
        int result = 0;
        int raised = 0;
        fz_var(result);
        fz_try(Ctx()) {
            result = edit() ? 1 : 0;
        }
        fz_catch(Ctx()) {
            raised = 1;
        }
        ordered = result != 0;
        return raised == 0;
    }
};

TEST_F(DictEditTest, KeepsTheOrderRules) {
    const struct {
        const char* dict;
        const char* op;  // "put", "del" or "move"
        const char* key;
        const char* value;
        const char* after;
    } cases[] = {
        {"<</A 1/B 2/C 3>>", "put", "D", "4", "<</A 1/B 2/C 3/D 4>>"},
        {"<</A 1/B 2/C 3>>", "put", "A", "9", "<</A 9/B 2/C 3>>"},
        {"<</A 1/B 2/C 3>>", "put", "B", "/X", "<</A 1/B/X/C 3>>"},
        {"<</A 1/B 2/C 3/D 4>>", "del", "B", "", "<</A 1/D 4/C 3>>"},
        {"<</A 1/B 2/C 3/D 4>>", "del", "D", "", "<</A 1/B 2/C 3>>"},
        {"<</A 1/B 2/C 3/D 4>>", "del", "A", "", "<</D 4/B 2/C 3>>"},
        {"<</A 1>>", "del", "A", "", "<<>>"},
        {"<</A 1/B 2>>", "del", "Z", "", "<</A 1/B 2>>"},
        {"<</Type/Catalog/Pages 2 0 R/AcroForm 7 0 R/Names 5 0 R>>", "move", "AcroForm", "<</Fields[]>>",
         "<</Type/Catalog/Pages 2 0 R/Names 5 0 R/AcroForm<</Fields[]>>>>"},
        {"<</Fields[1 0 R]/DA(x)/DR<<>>>>", "move", "Fields", "[1 0 R 8 0 R]",
         "<</DR<<>>/DA(x)/Fields[1 0 R 8 0 R]>>"},
        {"<</A 1/B 2>>", "move", "B", "3", "<</A 1/B 3>>"},
        {"<</A 1/B 2>>", "move", "Z", "3", "<</A 1/B 2/Z 3>>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.op) + " " + c.key + " on " + c.dict);
        pdf_obj* dict = Parse(c.dict);
        pdf_obj* key = Name(c.key);
        pdf_obj* value = *c.value ? Parse(c.value) : nullptr;
        const std::string op = c.op;
        bool ordered = false;
        const bool ran = Run(
            [&] {
                if (op == "put") return DictEdit::Put(Ctx(), dict, key, value);
                if (op == "del") return DictEdit::Delete(Ctx(), dict, key);
                return DictEdit::MoveToEnd(Ctx(), dict, key, value);
            },
            ordered);
        ASSERT_TRUE(ran);
        EXPECT_TRUE(ordered);
        EXPECT_EQ(Print(dict), c.after);
    }
}

TEST_F(DictEditTest, DeepCopyKeepsTheDocumentOrder) {
    pdf_obj* dict = Parse("<</Z 1/A<</Y 2/B 3>>/M[4]>>");
    pdf_obj* copy = Keep(pdf_deep_copy_obj(Ctx(), dict));
    EXPECT_EQ(Print(copy), "<</Z 1/A<</Y 2/B 3>>/M[4]>>");
}

TEST_F(DictEditTest, MovingTheDictionarysOwnValueKeepsItAlive) {
    pdf_obj* dict = Parse("<</Fields[1 0 R 2 0 R]/A 1/B 2>>");
    pdf_obj* own = pdf_dict_gets(Ctx(), dict, "Fields");  // borrowed from the dictionary
    bool ordered = false;
    ASSERT_TRUE(Run([&] { return DictEdit::MoveToEnd(Ctx(), dict, Name("Fields"), own); }, ordered));
    EXPECT_TRUE(ordered);
    EXPECT_EQ(Print(dict), "<</B 2/A 1/Fields[1 0 R 2 0 R]>>");
}

// MuPDF sorts dictionaries that grow beyond its limit; the edits say so.
TEST_F(DictEditTest, ReportsMuPDFSortingLargeDictionaries) {
    pdf_obj* dict = Parse("<<>>");
    bool ordered = true;
    for (int i = 0; i < DictEdit::kMaxOrderedEntries; ++i) {
        char key[16];
        std::snprintf(key, sizeof key, "K%03d", 500 - i);
        ASSERT_TRUE(Run([&] { return DictEdit::Put(Ctx(), dict, Name(key), Int(i)); }, ordered));
        ASSERT_TRUE(ordered) << key;
    }
    ASSERT_TRUE(Run([&] { return DictEdit::Put(Ctx(), dict, Name("K001"), Int(0)); }, ordered));
    ASSERT_TRUE(Run([&] { return DictEdit::Put(Ctx(), dict, Name("K000"), Int(0)); }, ordered));
    EXPECT_FALSE(ordered);
}

TEST_F(DictEditTest, EditingANonDictionaryRaisesAMuPDFError) {
    pdf_obj* array = Parse("[1 2]");
    bool ordered = false;
    EXPECT_FALSE(Run([&] { return DictEdit::Put(Ctx(), array, Name("A"), Int(1)); }, ordered));
}

}  // namespace
