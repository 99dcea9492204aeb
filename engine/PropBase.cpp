#include "engine/PropBase.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/Downloader.h"
#include "common/Logger.h"
#include "common/URLParser.h"
#include "common/Util.h"
#include "crypto/Platform.h"
#include "pdf/Exception.h"
#include "pdf/File.h"
#include "pdf/FileManager.h"

namespace {

// Detaches the environment's document on every way out unless kept: a
// document that failed to open (or is about to be destroyed) must never
// stay attached.
class DetachUnlessKept {
public:
    explicit DetachUnlessKept(PDF::Env& env) : _env(env) {}
    ~DetachUnlessKept() {
        if (!_keep) _env.SetFile(nullptr);
    }
    DetachUnlessKept(const DetachUnlessKept&) = delete;
    DetachUnlessKept& operator=(const DetachUnlessKept&) = delete;
    void Keep() { _keep = true; }

private:
    PDF::Env& _env;
    bool _keep = false;
};

// The last part of a path or URL, its escapes decoded, without query or fragment.
std::string LastPart(const std::string& path) {
    std::string name = path.substr(0, path.find_first_of("?#"));
    while (!name.empty() && name.back() == '/') name.pop_back();
    name = name.substr(name.find_last_of('/') + 1);
    URLParser::ProcessEscapesInplace(name);
    return name;
}

bool WriteAll(std::FILE* out, const std::vector<unsigned char>& bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}

}  // namespace

PropBase::PropBase(PDF::FileManager* files) : _files(files) {
    Logger::Get()->SetFunc("PropBase");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

PropBase::~PropBase() {
    Logger::Get()->SetFunc("~PropBase");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
    Unload();
    _env.SetPlatform(nullptr);
    _platform.reset();
    _feedStream.reset();
    // The page's documents do not outlive the request (its working copies
    // hold them in the temporary folder).
    for (const std::string& path : _workingCopies) {
        if (std::remove(path.c_str()) != 0)
            Logger::Get()->Log("Could not delete working copy %s", path.c_str());
    }
    // _env goes last, with its revision list and cross-reference collector.
}

void PropBase::SetPlatform(std::unique_ptr<Crypto::Platform> platform) {
    _platform = std::move(platform);
    _env.SetPlatform(_platform.get());
}

PDF::FileManager* PropBase::Files() {
    if (_files == nullptr) _files = PDF::FileManager::Instance();
    return _files;
}

int PropBase::Pages() const {
    if (_document && _error == kNoError) return _document->PageCount();
    return _error;
}

void PropBase::LoadFileFromURL() {
    _error = kNoError;
    if (_file.empty()) {
        _error = kEmptyFile;
        return;
    }
    if (_file.size() > kMaxFileLength || _file.compare(0, 4, "PDF:") == 0) {
        _error = kRefusedFile;
        return;
    }
    // A web page reaches only what its own site serves: never the user's
    // files, nor another site (an intranet server) through the user's network.
    if (_origin.IsWeb() && !_origin.IsSameOrigin(_file)) {
        Logger::Get()->SetFunc("LoadFileFromURL");
        Logger::Get()->Log("SetFile - Refused for the page of %s: %s", _origin.Text().c_str(), _file.c_str());
        _error = kRefusedForOrigin;
        return;
    }
    _loadingName = LastPart(_file);
    if (Util::IsRemoteUrl(_file)) {
        DownloadToWorkingCopy();
        return;
    }
    Util::ProcessUrlToFileName(_file);
    _localFile = _file;
    _localFileForeign = false;  // the page named this file itself
    InternalLoad();
}

Util::FilePtr PropBase::CreateWorkingCopy(const char* func) {
    PDF::FileManager* const files = Files();
    _localFile = files->GenerateFileName();
    if (!_localFile.empty()) files->Register(_localFile);
    Util::FilePtr out = _localFile.empty() ? nullptr : PDF::FileManager::CreateNew(_localFile);
    // What lies under a name this request could not create is someone else's.
    _localFileForeign = !out;
    if (out) _workingCopies.push_back(_localFile);
    if (!out) {
        Logger::Get()->SetFunc(func);
        Logger::Get()->Log("SetFile - Could not open local filename %s", _localFile.c_str());
    }
    return out;
}

void PropBase::DownloadToWorkingCopy() {
    Util::FilePtr out = CreateWorkingCopy("LoadFileFromURL");
    if (!out) {
        _error = kNoWorkingCopy;
        return;
    }
    // Each piece goes to the working copy as it arrives: the document is
    // never held in memory. One larger than a document can be is refused.
    bool written = true;
    Downloader downloader;
    downloader.SetLimit(PDF::File::kMaxFileSize);
    const bool downloaded =
        downloader.DownloadTo(_file, [&out, &written](const unsigned char* data, std::size_t size) {
            written = std::fwrite(data, 1, size, out.get()) == size;
            return written;
        });
    const bool closed = Util::FinishWrite(std::move(out));
    if (downloaded && downloader.TotalSize() > 0 && written && closed) {
        InternalLoad();
        return;
    }
    // A partial copy is never opened as the document, nor left on disk (this
    // request created the file, so removing it touches nothing foreign).
    Logger::Get()->SetFunc("LoadFileFromURL");
    if (!written || !closed) {
        Logger::Get()->Log("SetFile - Could not write local filename %s", _localFile.c_str());
        _error = kNoWorkingCopy;
    } else {
        Logger::Get()->Log("SetFile - Error while downloading the file");
        _error = kDownloadFailed;
    }
    DiscardWorkingCopy();
}

void PropBase::DiscardWorkingCopy() {
    std::remove(_localFile.c_str());
    // Forgotten at once: the free name may go to another file.
    const auto mine = std::find(_workingCopies.begin(), _workingCopies.end(), _localFile);
    if (mine != _workingCopies.end()) _workingCopies.erase(mine);
}

void PropBase::Feed(const char* data, std::size_t length) {
    if (length != 0) {
        if (!_feeding) {
            // The first piece. Later pieces of a feed whose file could not be
            // created are dropped rather than starting a new file midway.
            _feeding = true;
            _feedFailed = false;
            _error = kNoError;
            _loadingName.clear();
            _feedStream = CreateWorkingCopy("Feed");
            if (!_feedStream) _error = kNoWorkingCopy;
            _decoder.Reset();
        }
        if (!_feedStream || data == nullptr) return;
        std::vector<unsigned char> bytes;
        _decoder.Decode(data, length, bytes);
        if (!WriteAll(_feedStream.get(), bytes)) {
            Logger::Get()->SetFunc("Feed");
            Logger::Get()->Log("SetFile - Could not write local filename %s", _localFile.c_str());
            _feedFailed = true;
            _feedStream.reset();
        }
        return;
    }

    // End of the data.
    _feeding = false;
    if (_localFileForeign) {
        // The working copy could not be created: whatever lies under its
        // name (a planted file or link) is never opened as the document.
        _feedFailed = false;
        _error = kNoWorkingCopy;
        return;
    }
    bool complete = !_feedFailed;
    if (_feedStream) complete = Util::FinishWrite(std::move(_feedStream)) && complete;
    if (!complete) {
        // Some data was lost: a partial copy is never opened as the document.
        if (!_feedFailed) {
            Logger::Get()->SetFunc("Feed");
            Logger::Get()->Log("SetFile - Could not write local filename %s", _localFile.c_str());
        }
        _feedFailed = false;
        _error = kNoWorkingCopy;
        return;
    }
    InternalLoad();
}

void PropBase::Unload() {
    _env.SetFile(nullptr);
    _document.reset();
}

void PropBase::InternalLoad() {
    Unload();
    auto document = std::make_unique<PDF::File>(&_env);
    DetachUnlessKept detach(_env);
    try {
        document->Open(_localFile.c_str());
        _env.SetFile(document.get());
    } catch (const PDF::Exception& e) {
        // Code 0 marks a failed library call; 0 would read as "no error".
        _error = e.Code() != 0 ? e.Code() : kOpenFailed;
        Logger::Get()->SetFunc("SetFile");
        Logger::Get()->Log("SetFile - Could not open the document (%d): %s", e.Code(), e.what());
        return;
    }
    detach.Keep();
    _document = std::move(document);
    _documentName = _loadingName;
}

bool PropBase::Reload() {
    if (!_document) return false;
    // The file the document was opened from: a later load that stopped
    // before opening may have named another one in _localFile.
    _localFile = _document->Path();
    _loadingName = _documentName;
    InternalLoad();
    return _document != nullptr;
}
