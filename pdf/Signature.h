#pragma once

#include <array>
#include <ctime>
#include <memory>
#include <string>

#include "pdf/PDFPtr.h"

namespace Crypto {
class CMSignature;
}

namespace PDF {

class Env;

// The signature value dictionary of one signature: written with filter
// Adobe.PPKLite and sub-filter adbe.pkcs7.detached; loaded from a field's /V
// for verification, with the place of its /Contents hole in the file and the
// revision it covers.
class Signature {
public:
    // What /Contents holds, by the sub-filter of a loaded dictionary.
    enum Kind {
        kUnsupported,  // another sub-filter: not verified
        kDetached,     // a detached CMS signature (adbe.pkcs7.detached, ETSI.CAdES.detached)
        kTimeStamp,    // a document time stamp: an RFC 3161 token (ETSI.RFC3161)
    };

    // Outcome of checking the covered bytes against the CMS signature.
    enum VerifyError {
        kVerified = 0,
        kNotVerified = 1,
        kNoRange = 2,     // nothing loaded, or a byte range of four zeros
        kNoContents = 3,  // no /Contents, or the CMS object refused it
    };

    explicit Signature(Env* env);
    ~Signature();
    Signature(const Signature&) = delete;
    Signature& operator=(const Signature&) = delete;

    // Loads the dictionary behind `ref`; false unless it is a signature
    // dictionary (/Type /Sig or /DocTimeStamp, a /ByteRange of four integers,
    // /Filter and /SubFilter). Raises PDF::Exception when its /Contents cannot
    // be located.
    bool Load(pdf_obj* ref);
    // Finds the "<" and ">" of the /Contents string in the file; raises
    // PDF::Exception (Code::kEmptySignature no /Contents, Code::kContentsInvalid not a hexadecimal string).
    void FindContentsRange();
    // The revision whose end the second byte range reaches, provided the
    // ranges leave out exactly the /Contents string; -1 otherwise.
    int MatchVersion();
    // Releases the loaded dictionary and the CMS object.
    void ClearData();

    // Signing, in this order, with the rest of the update written between
    // WriteOut and FixRange. All raise PDF::Exception.

    // Writes the dictionary at the end of the output with a byte-range
    // placeholder and a /Contents hole of `size` bytes.
    void WriteOut(unsigned long size);
    // Writes the real byte range over the placeholder; `end` is the length
    // of the finished file.
    void FixRange(int end);
    // Feeds the covered bytes to `cms` (signer set, InitSign done) and writes
    // the signature into the hole.
    void FillContents(Crypto::CMSignature* cms);

    // Verification: 0 the covered bytes verify, 1 they do not, 2 nothing
    // loaded or no range, 3 no usable /Contents. A range reaching outside the
    // file (or overlapping the other) gives 1.
    VerifyError Verify();
    // Makes the CMS object from /Contents (a time-stamp token for a document
    // time stamp); false without one.
    bool LoadContents();
    // Feeds `length` bytes at `start` of the document to the CMS object.
    void FeedContents(int start, int length, bool last);
    // The CMS object of the last Verify (owns the signer certificate); null before.
    Crypto::CMSignature* GetCMS() const { return _cms.get(); }

    void SetName(const std::string& name) { _name = name; }
    void SetLocation(const std::wstring& text) { _location = text; }
    void SetReason(const std::wstring& text) { _reason = text; }
    void SetContact(const std::wstring& text) { _contact = text; }
    // "D:YYYYMMDDHHmmSS+HH'mm'" of `when` in the local time zone.
    static std::string FormatTime(std::time_t when);

    // The instant a /M date names, in seconds since 1970 UTC; -1 when the
    // text is not a complete date with a time zone (a date cut short before
    // the time zone counts as UTC).
    static std::time_t ParseTime(const std::string& text);

    int GetRevision() const { return _revision; }
    const std::string& GetSubFilter() const { return _subFilter; }
    Kind GetKind() const { return _kind; }
    // The changes a certification signature permits (its DocMDP /P: 1 none,
    // 2 form filling and signing, 3 also annotations); 0 for a signature
    // that does not certify the document.
    int GetCertification() const { return _certification; }
    const std::string& GetName() const { return _name; }
    const std::wstring& GetLocation() const { return _location; }
    const std::wstring& GetReason() const { return _reason; }
    const std::wstring& GetContact() const { return _contact; }
    // /M; for a document time stamp, from Verify on, the time its token states.
    std::time_t GetTime() const { return _time; }
    // b1, b2, b3, b4: [b1, b1 + b2) and [b3, b3 + b4) are covered.
    const std::array<int, 4>& GetRange() const { return _range; }
    int GetContentsStart() const { return _contentsStart; }
    int GetContentsEnd() const { return _contentsEnd; }
    int GetOid() const { return _oid; }

private:
    Env* _env;
    ContextPtr _ctx;  // first: outlives the handles below
    DocPtr _xref;
    ObjPtr _ref;
    ObjPtr _dict;
    int _revision = -1;
    std::string _subFilter;
    Kind _kind = kUnsupported;
    int _certification = 0;
    std::string _name;
    std::wstring _location;
    std::wstring _reason;
    std::wstring _contact;
    std::time_t _time = -1;
    std::array<int, 4> _range{};
    std::unique_ptr<Crypto::CMSignature> _cms;
    int _rangePos = 0;        // offset of the /ByteRange "[" in a written dictionary
    int _contentsStart = -1;  // offset of the "<" of /Contents
    int _contentsEnd = -1;    // offset just after its ">"
    int _oid = 0;             // object number of a written dictionary
};

// A PDF text string as wide text (see TextString::Decode: a broken UTF-16
// unit reads as U+FFFD, a byte order mark alone as the empty text). Empty
// for anything but a string.
std::wstring fz_loadunicode(fz_context* ctx, pdf_obj* obj);

// Adds `text` under `key` as a UTF-16BE text string with a FE FF mark;
// characters beyond U+FFFF become surrogate pairs. Raises PDF::Exception.
void fz_dictputunicodes(fz_context* ctx, pdf_obj* dict, const char* key, const wchar_t* text);

}  // namespace PDF
