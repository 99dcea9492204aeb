#pragma once

// The corpus of real documents that make-corpus.sh writes, made once per
// test program, and what the corpus tests do with them: sign through the
// engine, render pages, read qpdf's verdict.

#include <map>
#include <string>
#include <vector>

namespace CorpusTest {

struct Document {
    std::string file;      // name in the corpus folder
    std::string path;      // full path
    std::string producer;  // the program that wrote it first
    std::string how;       // options, and the rewrite that followed
    std::string field;     // an empty signature field it carries, or empty
    bool encrypted = false;
    // Readers must repair it: qpdf finds errors or reconstructs its sections.
    bool broken = false;
    int qpdfRank = 0;  // see QpdfRank
    std::size_t qpdfWarnings = 0;
    int pages = 0;
};

// The corpus folder: PENDREL_CORPUS_DIR when set (made there when it has no
// list yet, and kept), else a scratch folder made on first use.
const std::string& Folder();
const std::vector<Document>& Documents();

// qpdf --check's verdict: 0 clean, 1 warnings, 2 errors, 3 it did not run.
struct QpdfCheck {
    int rank = 3;
    std::size_t warnings = 0;
    std::string output;
};
QpdfCheck CheckWithQpdf(const std::string& path);

// The outcome of one sign through the engine.
struct Signed {
    int code = 0;        // the request's or the result's error; 1 signed
    std::string reason;  // why it was refused (the engine's log line)
    std::string path;    // the signed copy, when signed
};

// How to sign: invisible, or visible on `page`; into the empty field
// `field` when it is not empty.
struct SignHow {
    bool visible = false;
    int page = 1;
    std::string field;
    std::string fieldName = "Corpus";
};
Signed SignWithEngine(const std::string& input, const std::string& output, const SignHow& how);

// One rendered page: RGB pixels, row by row.
struct Picture {
    int width = 0;
    int height = 0;
    std::string rgb;
};
// Every page of `path` at a low resolution; with `annotations` false the
// annotations (signature widgets among them) are left out.
std::vector<Picture> Render(const std::string& path, bool annotations = true);
// The pixels of `a` and `b` (of one size) that differ: 1 where they do.
std::vector<char> Difference(const Picture& a, const Picture& b);

// The NSS database that trusts the test root, for pdfsig.
const std::string& NssDb();

}  // namespace CorpusTest
