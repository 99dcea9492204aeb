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
    // Reads the trailer of the section at `startxref` (a classic table or a
    // cross-reference stream), records where its revision ends and answers
    // its /Prev (0 when none). The first-page section of a linearized file,
    // whose /Prev names the later main section, ends no revision of its own.
    int ParseVersion(int startxref);

    // End offset at `index` (newest first); out of range raises std::out_of_range.
    int Get(int index) const { return _ends.at(index); }
    int Count() const { return static_cast<int>(_ends.size()); }
    // Whether the document's last section (at its startxref) is a
    // cross-reference stream rather than a classic table.
    bool NewestIsStream() const { return _newestIsStream; }

    // Copies revision `revision` into a new working file and answers its
    // path; empty when there is no such revision or no file could be written.
    std::string Output(int revision) const;

private:
    // Whether the section at `offset` begins with an object header.
    bool StreamSectionAt(int offset);
    int ParseStreamVersion(int startxref);
    // Finds the end-of-file marker in the bytes after the stream's position
    // and records the revision end after it.
    void RecordEnd();

    Env* _env;
    std::array<unsigned char, 128> _buf{};  // the bytes after a trailer
    File* _file = nullptr;
    fz_stream* _stream = nullptr;
    pdf_document* _xref = nullptr;
    std::vector<int> _ends;  // newest first
    bool _newestIsStream = false;
};

}  // namespace PDF
