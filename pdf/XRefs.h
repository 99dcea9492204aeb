#pragma once

#include <cstdio>
#include <map>

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

    // Starts with object 0: free, generation 65535.
    XRefs();

    // Records an object written at `offset`; the first entry for a number wins.
    void AddRef(int oid, int gen, int offset);

    // Writes the cross-reference section at the end of `out` and keeps its
    // offset; raises PDF::Exception when the write fails.
    void WriteOut(std::FILE* out);

    const std::map<int, RefData>& Entries() const { return _refs; }
    // Offset of the written cross-reference section; 0 until it is written.
    int StartXRef() const { return _startxref; }

private:
    std::map<int, RefData> _refs;
    int _startxref = 0;
};

}  // namespace PDF
