#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/ResultBase.h"
#include "support/TempDir.h"

using TestSupport::FileExists;
using TestSupport::ReadFile;
using TestSupport::TempDir;
using TestSupport::WriteFile;

namespace {

class TestResult : public ResultBase {
public:
    void SetSignatures(FactoryPtr<SignatureBase>) override {}
};

std::string Bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 256);
    return bytes;
}

// Base64 by coreutils, an encoder independent of ours.
std::string ReferenceBase64(const std::string& path) {
    std::string out;
    FILE* pipe = ::popen(("base64 -w0 '" + path + "'").c_str(), "r");
    char buffer[4096];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
    ::pclose(pipe);
    return out;
}

std::vector<std::string> ReadAllPieces(ResultBase& result) {
    std::vector<std::string> pieces;
    for (int guard = 0; guard < 10000; ++guard) {
        const std::string piece = result.ReadStreamData();
        pieces.push_back(piece);
        if (piece.empty()) break;
    }
    return pieces;
}

}  // namespace

TEST(ResultBase, StreamsTheSignedCopyAsBase64Pieces) {
    const struct {
        size_t size;
        size_t pieces;  // non-empty ones
    } cases[] = {{1000, 2}, {1024, 3}, {512, 2}, {1, 1}, {0, 1}, {100000, 196}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const TempDir dir;
        const std::string path = dir.File("signed.pdf");
        WriteFile(path, Bytes(c.size));
        TestResult result;
        result.SetFile(path);
        const auto pieces = ReadAllPieces(result);
        ASSERT_EQ(pieces.size(), c.pieces + 1);
        EXPECT_TRUE(pieces.back().empty());
        EXPECT_EQ(result.Error(), 1);

        std::string joined;
        for (const auto& p : pieces) joined += p;
        EXPECT_EQ(joined.back(), '\n');
        // every line holds 72 characters but the last, counted across pieces
        size_t start = 0;
        for (size_t nl; (nl = joined.find('\n', start)) != std::string::npos; start = nl + 1)
            if (nl + 1 != joined.size()) {
                EXPECT_EQ(nl - start, 72u) << "line at " << start;
            }
        std::string plain;
        for (const char ch : joined)
            if (ch != '\n') plain += ch;
        EXPECT_EQ(plain, ReferenceBase64(path));

        // after the empty piece, reading starts again from the first byte
        EXPECT_EQ(result.ReadStreamData(), pieces.front());
        result.SetFile("");  // keep the file for the scratch folder to remove
    }
}

TEST(ResultBase, ReadingOrSavingWithoutAFileGivesMinus8) {
    TestResult result;
    result.SetError(-63);
    EXPECT_EQ(result.ReadStreamData(), "");
    EXPECT_EQ(result.Error(), -8);
    EXPECT_FALSE(result.SaveFile("/tmp/never-written.pdf"));
    EXPECT_EQ(result.Error(), -8);
    EXPECT_FALSE(FileExists("/tmp/never-written.pdf"));
}

TEST(ResultBase, SavesTheCopyAndDeletesItWhenDestroyed) {
    const TempDir dir;
    const std::string path = dir.File("PDFF0000.pdf");
    WriteFile(path, Bytes(5000));
    {
        TestResult result;
        result.SetFile(path);
        result.SetError(-31);
        ASSERT_FALSE(result.ReadStreamData().empty());  // a read in progress is not disturbed
        EXPECT_TRUE(result.SaveFile("file://" + dir.File("out%20copy.pdf")));
        EXPECT_EQ(result.Error(), 1);
        EXPECT_EQ(ReadFile(dir.File("out copy.pdf")), Bytes(5000));
        EXPECT_FALSE(result.SaveFile(dir.File("missing/folder/x.pdf")));
        EXPECT_EQ(result.Error(), -8);
        EXPECT_FALSE(FileExists(dir.File("missing/folder/x.pdf")));
    }
    EXPECT_FALSE(FileExists(path));
    EXPECT_TRUE(FileExists(dir.File("out copy.pdf")));
}
