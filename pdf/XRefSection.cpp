#include "pdf/XRefSection.h"

#include <cstdio>
#include <map>

namespace PDF {

std::string XRefSection::Format(const std::vector<Entry>& entries) {
    // Ascending numbers, one entry per number (a repeated number would make
    // a section that readers reject).
    std::map<int, Entry> byNumber;
    for (const Entry& entry : entries) byNumber[entry.num] = entry;

    std::string out = "xref\n";
    char line[64];
    for (auto it = byNumber.begin(); it != byNumber.end();) {
        auto end = it;
        int count = 0;
        for (int next = it->first; end != byNumber.end() && end->first == next; ++end, ++next) ++count;
        std::snprintf(line, sizeof line, "%d %d\n", it->first, count);
        out += line;
        for (; it != end; ++it) {
            const Entry& e = it->second;
            std::snprintf(line, sizeof line, "%010ld %05d %c \n", e.free ? 0L : e.offset, e.gen,
                          e.free ? 'f' : 'n');
            out += line;
        }
    }
    return out;
}

}  // namespace PDF
