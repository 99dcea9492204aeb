#include "pdf/XRefs.h"

namespace PDF {

XRefs::XRefs() {
    _refs.emplace(0, RefData{65535, 0, true});
}

void XRefs::AddRef(int oid, int gen, int offset) {
    _refs.emplace(oid, RefData{gen, offset, false});
}

}  // namespace PDF
