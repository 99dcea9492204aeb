// Opening a document and listing what the engine reads of it: revisions,
// fields and signature dictionaries. Properties: revision ends lie in the
// file, newest first; a saved revision is exactly as long as its end and is
// the file's first bytes; a signature's /Contents lies in the file and a
// matched revision is one of the document's.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "common/Util.h"
#include "fuzz/FuzzSupport.h"
#include "pdf/Env.h"
#include "pdf/Exception.h"
#include "pdf/Field.h"
#include "pdf/Fields.h"
#include "pdf/File.h"
#include "pdf/Signature.h"
#include "pdf/Versions.h"

namespace {

void CheckRevisions(const PDF::Versions& versions, const std::string& bytes) {
    const int count = versions.Count();
    FUZZ_CHECK(count >= 1);
    for (int k = 0; k < count; ++k) {
        FUZZ_CHECK(versions.Get(k) > 0 && static_cast<std::size_t>(versions.Get(k)) <= bytes.size());
        if (k > 0) FUZZ_CHECK(versions.Get(k) < versions.Get(k - 1));
    }
    // Revision r is entry count - 1 - r (newest first). The first few only:
    // each is a file written.
    for (int revision = 0; revision < count && revision < 3; ++revision) {
        const std::string saved = versions.Output(revision);
        FUZZ_CHECK(!saved.empty());
        const std::string copy = Fuzz::ReadAll(saved);
        std::remove(saved.c_str());
        const std::size_t end = static_cast<std::size_t>(versions.Get(count - 1 - revision));
        FUZZ_CHECK(copy.size() == end);
        FUZZ_CHECK(copy == bytes.substr(0, end));
    }
    FUZZ_CHECK(versions.Output(count).empty() && versions.Output(-1).empty());
}

void CheckSignature(PDF::Signature& signature, const std::string& bytes, int revisions) {
    const int start = signature.GetContentsStart();
    const int end = signature.GetContentsEnd();
    FUZZ_CHECK(start >= 0 && start < end && static_cast<std::size_t>(end) <= bytes.size());
    FUZZ_CHECK(bytes[start] == '<' && bytes[end - 1] == '>');
    const int revision = signature.MatchVersion();
    FUZZ_CHECK(revision >= -1 && revision < revisions);
    // Texts from the document always convert.
    (void)Util::WtoA(signature.GetReason());
    (void)Util::WtoA(signature.GetLocation());
    (void)Util::WtoA(signature.GetContact());
    (void)signature.GetKind();
    (void)signature.GetCertification();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = Fuzz::WriteInput(data, size, "document.pdf");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    PDF::Env env;
    PDF::File file(&env);
    try {
        file.Open(path.c_str());
        env.SetFile(&file);
    } catch (const PDF::Exception&) {
        return 0;
    }
    CheckRevisions(*env.GetVersions(), bytes);

    try {
        PDF::Fields fields(&env);
        fields.Load();
        for (std::size_t i = 0; i < fields.Count(); ++i) {
            PDF::Field* const field = fields.At(i);
            (void)field->GetName();
            (void)field->GetRect();
            try {
                if (const std::unique_ptr<PDF::Signature> signature = field->GetSignature())
                    CheckSignature(*signature, bytes, env.GetVersions()->Count());
            } catch (const PDF::Exception&) {
                // A broken signature dictionary: the next field.
            }
        }
        (void)fields.HasName("Signature1");
        (void)fields.Fillable("Signature1");
    } catch (const PDF::Exception&) {
    }
    env.SetFile(nullptr);
    return 0;
}
