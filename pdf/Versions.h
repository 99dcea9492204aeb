#pragma once

#include <array>
#include <string>
#include <vector>

#include "pdf/PDFPtr.h"

namespace PDF {

class Env;
class File;

// Where each revision of the attached document ends: the offset just after
// its end-of-file marker and line ending. Revision 0 is the document as first
// written; the last revision is the whole file.
class Versions {
public:
    explicit Versions(Env* env);
    Versions(const Versions&) = delete;
    Versions& operator=(const Versions&) = delete;

    // Walks the cross-reference chain from the last section; raises
    // PDF::Exception when a revision cannot be delimited.
    void Check();
    // Reads the trailer after the section at `startxref`, records where its
    // revision ends and answers its /Prev (0 when none).
    int ParseVersion(int startxref);

    // End offset at `index` (newest first); out of range raises std::out_of_range.
    int Get(int index) const { return _ends.at(index); }
    int Count() const { return static_cast<int>(_ends.size()); }

    // Copies revision `revision` into a new working file and answers its
    // path; empty when there is no such revision or no file could be written.
    std::string Output(int revision) const;

private:
    Env* _env;
    std::array<unsigned char, 128> _buf{};  // the bytes after a trailer
    File* _file = nullptr;
    fz_stream* _stream = nullptr;
    pdf_document* _xref = nullptr;
    std::vector<int> _ends;  // newest first
};

}  // namespace PDF
