#include "pdf/XRefs.h"

#include "pdf/Output.h"

namespace PDF {

XRefs::XRefs(bool streamForm) : _streamForm(streamForm) {
    _refs.emplace(0, RefData{65535, 0, true});
}

void XRefs::AddRef(int oid, int gen, int offset) {
    _refs.emplace(oid, RefData{gen, offset, false});
}

std::vector<XRefSection::Entry> XRefs::SectionEntries() const {
    std::vector<XRefSection::Entry> entries;
    entries.reserve(_refs.size());
    for (const auto& [num, data] : _refs) entries.push_back({num, data.gen, data.offset, data.free});
    return entries;
}

void XRefs::WriteOut(std::FILE* out) {
    _startxref = Output::Position(out);
    if (!_streamForm) Output::Write(out, XRefSection::Format(SectionEntries()));
}

}  // namespace PDF
