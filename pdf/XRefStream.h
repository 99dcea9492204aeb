#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "pdf/XRefSection.h"

struct fz_context;
struct pdf_document;
struct pdf_obj;

namespace PDF {

class XRefs;

// The cross-reference data of an update written as a stream object, for
// documents whose last section is one: every entry a type (0 free, 1 in use),
// the offset (the next free number for a free entry) and the generation,
// big-endian, each field as wide as its largest value needs; /Index names the
// runs of consecutive numbers. The stream is Flate-compressed and lists its
// own object.
class XRefStream {
public:
    struct Layout {
        std::array<int, 3> widths{};             // /W
        std::vector<std::pair<int, int>> index;  // /Index: first number and count of each run
        std::string data;                        // the entries, uncompressed
    };

    // Entries in any order; for a number given twice the later entry counts.
    static Layout Format(const std::vector<XRefSection::Entry>& entries);

    // Writes the collected entries as cross-reference stream object `num` at
    // the end of `out`, where the collector's section starts. Its dictionary
    // holds /Type/XRef, /Size (num + 1), /W, /Index, the entries of `trailer`
    // in their order (/Prev, /Root, /Info, /ID) and the stream's /Filter and
    // /Length. Raises PDF::Exception.
    static void WriteOut(fz_context* ctx, pdf_document* doc, std::FILE* out, XRefs& xrefs, pdf_obj* trailer,
                         int num);
};

}  // namespace PDF
