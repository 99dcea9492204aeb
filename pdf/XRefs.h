#pragma once

#include <cstdio>
#include <map>
#include <vector>

#include "pdf/XRefSection.h"

namespace PDF {

// The cross-reference entries of one incremental update, collected while its
// objects are written: object number -> generation and byte offset.
class XRefs {
public:
    struct RefData {
        int gen = 0;
        int offset = 0;
        bool free = false;
    };

    // Starts with object 0: free, generation 65535. With `streamForm` the
    // section is a cross-reference stream, written with the trailer (the
    // document's last section is one).
    explicit XRefs(bool streamForm = false);

    // Records an object written at `offset`; the first entry for a number wins.
    void AddRef(int oid, int gen, int offset);

    // Marks the end of `out` as the start of the section and, for a classic
    // section, writes it there; raises PDF::Exception when the write fails.
    void WriteOut(std::FILE* out);

    const std::map<int, RefData>& Entries() const { return _refs; }
    // The entries in ascending numbers, as the section writers take them.
    std::vector<XRefSection::Entry> SectionEntries() const;
    // Offset of the cross-reference section; 0 until WriteOut.
    int StartXRef() const { return _startxref; }
    bool StreamForm() const { return _streamForm; }

private:
    std::map<int, RefData> _refs;
    int _startxref = 0;
    bool _streamForm;
};

}  // namespace PDF
