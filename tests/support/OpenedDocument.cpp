#include "support/OpenedDocument.h"

#include "pdf/Exception.h"

namespace TestSupport {

OpenedDocument::OpenedDocument(const std::string& path) {
    _file.Open(path.c_str());
    _env.SetFile(&_file);
}

int OpenError(const std::string& path, std::string* text) {
    try {
        const OpenedDocument doc(path);
        return 1;
    } catch (const PDF::Exception& e) {
        if (text != nullptr) *text = e.what();
        return e.Code();
    }
}

}  // namespace TestSupport
