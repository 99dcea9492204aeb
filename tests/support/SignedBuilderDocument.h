#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "support/PdfBuilder.h"

namespace TestSupport {

// A one-page document (catalog 1, page tree 2, page 3, form 4) built revision by
// revision, each signature in an update of its own: a new signature field
// whose value covers the file up to the end of that update, its /Contents
// made over the covered bytes by a given function (openssl cms, openssl ts,
// a test's own bytes).
class SignedBuilderDocument {
public:
    using Maker = std::function<std::string(const std::string& covered)>;

    struct Field {
        std::string name = "Signature1";
        std::string type = "Sig";  // or DocTimeStamp
        std::string subFilter = "adbe.pkcs7.detached";
        std::string dictExtra;     // added to the signature dictionary (/Reference ...)
        std::string dictLead;      // added before its /ByteRange and /Contents
        std::string catalogExtra;  // added to the catalog of that update (/Perms ...)
        std::size_t holeBytes = 12288;
        // In the form's /Fields; false: only the page's /Annots lists it.
        bool listed = true;
    };

    explicit SignedBuilderDocument(const std::string& version = "1.4");

    // Appends an update holding the signature; answers the object number of
    // its dictionary.
    int AddSignature(const Field& field, const Maker& make);
    // Appends an update that only adds `body` as a new object.
    void AddUpdate(const std::string& body);

    // The bytes the signature `num` covers in the file as it stands.
    std::string Covered(int num) const;
    const PdfBuilder& Pdf() const { return _pdf; }
    PdfBuilder& Pdf() { return _pdf; }
    void Save(const std::string& path) const { _pdf.Save(path); }

private:
    PdfBuilder _pdf;
    std::vector<int> _fields;
    std::vector<int> _listed;
    std::vector<std::pair<int, std::size_t>> _ends;  // signature object and the end it covers
};

}  // namespace TestSupport
