#include "pdf/XRefs.h"

#include <vector>

#include "pdf/Output.h"
#include "pdf/XRefSection.h"

namespace PDF {

XRefs::XRefs() {
    _refs.emplace(0, RefData{65535, 0, true});
}

void XRefs::AddRef(int oid, int gen, int offset) {
    _refs.emplace(oid, RefData{gen, offset, false});
}

void XRefs::WriteOut(std::FILE* out) {
    _startxref = Output::Position(out);
    std::vector<XRefSection::Entry> entries;
    entries.reserve(_refs.size());
    for (const auto& [num, data] : _refs) entries.push_back({num, data.gen, data.offset, data.free});
    Output::Write(out, XRefSection::Format(entries));
}

}  // namespace PDF
