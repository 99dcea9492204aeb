#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/posix/FilePtr.h"
#include "pdf/Exception.h"
#include "pdf/XRefStream.h"
#include "pdf/XRefs.h"
#include "support/PdfBuilder.h"
#include "support/SignDocument.h"
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
        EXPECT_EQ(e.Code(), -52);
    }
    xrefs.WriteOut(out.get());
    EXPECT_EQ(std::ftell(out.get()), 9) << "a stream-form collector writes no table";
}

// One entry of a decoded cross-reference stream.
struct Decoded {
    int type;
    long field2;
    long field3;
};

// The last cross-reference stream of `bytes`, inflated with zlib and decoded
// by its own /W and /Index; its dictionary text goes to `dict`.
std::map<int, Decoded> DecodeLastStream(const std::string& bytes, std::string& dict) {
    const std::size_t type = bytes.rfind("/Type/XRef");
    const std::size_t open = bytes.rfind("<<", type);
    const std::size_t data = bytes.find(">>\nstream\n", type);
    dict = bytes.substr(open, data + 2 - open);
    std::smatch m;
    EXPECT_TRUE(std::regex_search(dict, m, std::regex("/Length (\\d+)")));
    const std::string packed = bytes.substr(data + 10, std::stoul(m[1]));
    std::vector<unsigned char> raw(65536);
    uLongf size = raw.size();
    EXPECT_EQ(uncompress(raw.data(), &size, reinterpret_cast<const Bytef*>(packed.data()), packed.size()),
              Z_OK);

    EXPECT_TRUE(std::regex_search(dict, m, std::regex("/W\\[(\\d) (\\d) (\\d)\\]")));
    const int w[3] = {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3])};
    EXPECT_TRUE(std::regex_search(dict, m, std::regex("/Index\\[([0-9 ]+)\\]")));
    std::vector<int> index;
    std::istringstream numbers(m[1].str());
    for (int n = 0; numbers >> n;) index.push_back(n);

    std::map<int, Decoded> entries;
    std::size_t at = 0;
    auto field = [&](int width) {
        long value = 0;
        for (int i = 0; i < width; ++i) value = (value << 8) | raw[at++];
        return value;
    };
    for (std::size_t i = 0; i + 1 < index.size(); i += 2)
        for (int num = index[i]; num < index[i] + index[i + 1]; ++num) {
            const int t = static_cast<int>(field(w[0]));
            const long f2 = field(w[1]);
            entries[num] = {t, f2, field(w[2])};
        }
    EXPECT_EQ(at, size) << "the data holds exactly the listed entries";
    return entries;
}

TEST(XRefStream, ListsEveryObjectOfTheUpdateAtItsHeader) {
    TestSupport::PdfBuilder pdf("1.5");
    pdf.SectionForm(TestSupport::PdfBuilder::Section::Stream);
    pdf.Object(1, "<</Type/Catalog/Pages 2 0 R/AcroForm<</Fields[]>>>>");
    pdf.Compressed(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>");
    pdf.Object(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]>>");
    pdf.TrailerExtra("/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
    pdf.EndRevision();
    const TestSupport::TempDir dir;
    pdf.Save(dir.File("in.pdf"));
    TestSupport::SignOptions options;
    options.visible = true;
    TestSupport::SignDocument(dir.File("in.pdf"), dir.File("out.pdf"), options);

    const std::string bytes = TestSupport::ReadFile(dir.File("out.pdf"));
    const std::string update = bytes.substr(pdf.Bytes().size());
    std::string dict;
    const std::map<int, Decoded> entries = DecodeLastStream(bytes, dict);

    // Every object header of the update is listed at its offset, the stream
    // itself included, and nothing else is.
    std::map<int, long> headers;
    const std::regex header("\n(\\d+) 0 obj\n");
    for (std::sregex_iterator it(update.begin(), update.end(), header), end; it != end; ++it)
        headers[std::stoi((*it)[1])] = static_cast<long>(pdf.Bytes().size() + it->position() + 1);
    ASSERT_GE(headers.size(), 5u);
    EXPECT_EQ(entries.size(), headers.size() + 1);
    ASSERT_EQ(entries.count(0), 1u);
    EXPECT_EQ(entries.at(0).type, 0);
    EXPECT_EQ(entries.at(0).field3, 65535);
    for (const auto& [num, offset] : headers) {
        SCOPED_TRACE(num);
        ASSERT_EQ(entries.count(num), 1u);
        EXPECT_EQ(entries.at(num).type, 1);
        EXPECT_EQ(entries.at(num).field2, offset);
        EXPECT_EQ(entries.at(num).field3, 0);
    }

    const int last = headers.rbegin()->first;
    const std::size_t startxref = bytes.rfind("startxref\n");
    EXPECT_EQ(std::stol(bytes.substr(startxref + 10)), headers.at(last)) << "the stream is the last object";
    EXPECT_EQ(bytes.compare(bytes.size() - 6, 6, "%%EOF\n"), 0);
    EXPECT_NE(dict.find("/Size " + std::to_string(last + 1) + "/"), std::string::npos) << dict;
    EXPECT_NE(dict.find("/Prev " + std::to_string(pdf.LastStartXRef()) + "/Root 1 0 R/ID[<0011"),
              std::string::npos)
        << dict;
    EXPECT_NE(dict.find("/Filter/FlateDecode"), std::string::npos) << dict;
    EXPECT_EQ(update.find("trailer"), std::string::npos);
}

}  // namespace
