#pragma once

#include <string>

#include "pdf/Env.h"
#include "pdf/File.h"

namespace TestSupport {

// A document opened and attached to its environment, as a request holds it.
class OpenedDocument {
public:
    // Raises what PDF::File::Open and PDF::Env::SetFile raise.
    explicit OpenedDocument(const std::string& path);
    ~OpenedDocument() { _env.SetFile(nullptr); }
    OpenedDocument(const OpenedDocument&) = delete;
    OpenedDocument& operator=(const OpenedDocument&) = delete;

    PDF::Env& Env() { return _env; }
    PDF::File& File() { return _file; }

private:
    PDF::Env _env;
    PDF::File _file{&_env};
};

// The code of the PDF::Exception that opening and attaching `path` raises,
// or 1 when it opens; its text goes to `text` when given.
int OpenError(const std::string& path, std::string* text = nullptr);

}  // namespace TestSupport
