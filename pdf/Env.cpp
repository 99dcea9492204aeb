#include "pdf/Env.h"

#include "common/Logger.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/Versions.h"
#include "pdf/XRefs.h"

namespace PDF {

Env::Env() {
    Logger::Get()->SetFunc("Env");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

Env::~Env() {
    Logger::Get()->SetFunc("~Env");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
}

void Env::SetFile(File* file) {
    _file = nullptr;
    _versions.reset();
    _xrefs.reset();
    _nextOid = 0;
    if (file == nullptr) {
        _out = nullptr;
        return;
    }

    // The list is built before anything is attached: a document whose
    // revisions cannot be delimited stays detached.
    _file = file;
    auto versions = std::make_unique<Versions>(this);
    try {
        versions->Check();
    } catch (const Exception&) {
        _file = nullptr;
        throw;
    }
    // The update's section takes the form of the document's last one.
    _xrefs = std::make_unique<XRefs>(versions->NewestIsStream());
    _versions = std::move(versions);
    _nextOid = file->XRefLength();
}

}  // namespace PDF
