#pragma once

#include <string>
#include <vector>

namespace PDF {

// The text of a classic cross-reference section for the objects of an
// update: "xref\n", then one subsection per run of consecutive object
// numbers, each entry a 20-byte line.
class XRefSection {
public:
    struct Entry {
        int num = 0;
        int gen = 0;
        long offset = 0;
        bool free = false;  // written with offset 0 and "f"
    };

    // Entries in any order; for a number given twice the later entry counts.
    static std::string Format(const std::vector<Entry>& entries);
};

}  // namespace PDF
