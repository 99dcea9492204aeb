#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "common/Base64Stream.h"
#include "common/PageOrigin.h"
#include "common/posix/FilePtr.h"
#include "pdf/Env.h"

class VisualRepBase;

namespace Crypto {
class Certificate;
class Platform;
}  // namespace Crypto

namespace PDF {
class File;
class FileManager;
}  // namespace PDF

// A signing or verifying request: the document (a local path, a remote URL
// downloaded into a working copy, or Base64 text fed in pieces into one),
// the options, the message language, the signer's texts, the name of the
// field to create, and the opened document with its PDF environment. The
// document is opened as soon as it arrives and stays open until it is
// replaced or the request goes; the working copies the request made are
// deleted when it goes.
class PropBase {
public:
    // Option bits.
    static constexpr int kCheckRevocation = 0x08;
    static constexpr int kShowStatus = 0x10;
    static constexpr int kSkipTimeValidity = 0x20;
    static constexpr int kSkipChainValidity = 0x40;

    // Load codes of Error().
    static constexpr int kNoError = 0;
    static constexpr int kEmptyFile = -1;
    static constexpr int kRefusedFile = -2;
    static constexpr int kNoWorkingCopy = -5;
    static constexpr int kDownloadFailed = -6;
    // Reported instead of a PDF::Exception code 0 (a failed PDF-library
    // call), which would read as "no error".
    static constexpr int kOpenFailed = -7;
    // A web page named a document other than an http(s) URL of its own
    // origin: a local path, a file:// URL or another site.
    static constexpr int kRefusedForOrigin = -77;

    static constexpr std::size_t kMaxFileLength = 512;

    // Working copies are named and registered by `files`; null means the
    // process-wide manager.
    explicit PropBase(PDF::FileManager* files = nullptr);
    virtual ~PropBase();
    PropBase(const PropBase&) = delete;
    PropBase& operator=(const PropBase&) = delete;

    // The visible-signature description, or null for an invisible signature.
    virtual VisualRepBase* GetVisualRep() = 0;
    // The signing certificate, or null.
    virtual Crypto::Certificate* GetCertificate() = 0;

    // Loads the document named by File(): a local path or file:// URL where
    // it lies, a remote URL into a new working copy. A web page may name only
    // http(s) URLs of its own origin (else -77). The outcome is in Error()
    // and in whether a document is open.
    void LoadFileFromURL();
    // Appends `length` bytes of Base64 text (pieces may split groups; line
    // breaks are skipped) to a new working copy; length 0 ends the data and
    // opens it. A working copy that could not be created (or written whole)
    // is never opened: Error() is then -5 and an earlier document stays.
    void Feed(const char* data, std::size_t length);
    // (Re)opens LocalFile() as the document; a PDF::Exception becomes Error()
    // and leaves no document.
    void InternalLoad();
    // Opens the current document's file again, so that the environment
    // starts afresh (object numbers, cross-reference collector, output).
    // False, with Error() set, when it no longer opens; false when no
    // document is open.
    bool Reload();

    // The page count when a document is open and Error() is 0, else Error().
    int Pages() const;

    int Options() const { return _options; }
    void SetOptions(int options) { _options = options; }
    int Lang() const { return _lang; }
    void SetLang(int lang) { _lang = lang; }
    int Error() const { return _error; }
    const std::string& File() const { return _file; }
    void SetFile(const std::string& file) { _file = file; }
    const std::string& LocalFile() const { return _localFile; }
    const std::wstring& Reason() const { return _reason; }
    void SetReason(const std::wstring& reason) { _reason = reason; }
    const std::wstring& Location() const { return _location; }
    void SetLocation(const std::wstring& location) { _location = location; }
    const std::wstring& Contact() const { return _contact; }
    void SetContact(const std::wstring& contact) { _contact = contact; }
    const std::string& SigId() const { return _sigId; }
    void SetSigId(const std::string& sigId) { _sigId = sigId; }
    // The page the request serves; local unless set.
    const PageOrigin& Origin() const { return _origin; }
    void SetOrigin(const PageOrigin& origin) { _origin = origin; }
    // The open document's name as the user knows it: the last part of the
    // URL or path it came from; empty for a document fed as data.
    const std::string& DocumentName() const { return _documentName; }

    PDF::Env& Env() { return _env; }
    // The opened document, or null.
    PDF::File* Document() const { return _document.get(); }
    // The crypto factory: kept here and given to the environment.
    void SetPlatform(std::unique_ptr<Crypto::Platform> platform);
    Crypto::Platform* Platform() const { return _platform.get(); }
    // Whether Base64 data is being fed.
    bool Feeding() const { return _feeding; }
    // Names and registers the request's working files, and the signed
    // copies of a sign operation.
    PDF::FileManager* Files();

protected:
    // Fields the scriptable request maps to script properties.
    int _options = 0;
    int _lang = 0;
    int _error = kNoError;
    std::string _file;
    std::string _localFile;
    std::wstring _reason;
    std::wstring _location;
    std::wstring _contact;
    std::string _sigId;

private:
    // A new registered name in _localFile and its file created; null when
    // it could not be created (logged under `func`).
    Util::FilePtr CreateWorkingCopy(const char* func);
    // Deletes the working copy named in _localFile, which this request made.
    void DiscardWorkingCopy();
    void DownloadToWorkingCopy();
    void Unload();

    PDF::FileManager* _files;
    PageOrigin _origin;
    std::string _documentName;
    std::string _loadingName;  // the name of the document being loaded
    Util::Base64Decoder _decoder;
    Util::FilePtr _feedStream;
    bool _feeding = false;                    // pieces have come, the end has not
    bool _feedFailed = false;                 // a piece could not be written
    bool _localFileForeign = false;           // _localFile names a working copy that could not be created
    std::vector<std::string> _workingCopies;  // made by this request, deleted with it
    PDF::Env _env;
    std::unique_ptr<Crypto::Platform> _platform;
    std::unique_ptr<PDF::File> _document;
};
