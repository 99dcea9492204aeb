#include "engine/ResultBase.h"

#include <cstdio>

#include "common/Logger.h"
#include "common/Util.h"

namespace {

constexpr std::size_t kReadBlock = 1 << 16;

}  // namespace

ResultBase::ResultBase() : _chunkText(2 * kChunkSize + 64, ' ') {
    Logger::Get()->SetFunc("ResultBase");
    Logger::Get()->Log("*** Constructor, object %p", static_cast<void*>(this));
}

ResultBase::~ResultBase() {
    Logger::Get()->SetFunc("~ResultBase");
    Logger::Get()->Log("*** Destructor, object %p", static_cast<void*>(this));
    _readStream.reset();
    if (!_file.empty() && std::remove(_file.c_str()) != 0) {
        Logger::Get()->SetFunc("~ResultBase");
        Logger::Get()->Log("Could not delete temp file.");
    }
}

const std::string& ResultBase::ReadStreamData() {
    if (!_readStream) {
        _error = 1;
        _readStream.reset(_file.empty() ? nullptr : std::fopen(_file.c_str(), "rb"));
        if (!_readStream) {
            _error = -8;
            _chunkText.clear();
            return _chunkText;
        }
        // Pieces are small: read the file in larger blocks underneath.
        std::setvbuf(_readStream.get(), nullptr, _IOFBF, kReadBlock);
        _readBuffer.assign(kChunkSize, '\0');
        _encoder.Reset();
    }
    if (std::feof(_readStream.get())) {
        _readStream.reset();  // delivered in full: the next call starts again
        _chunkText.clear();
        return _chunkText;
    }
    const size_t got = std::fread(_readBuffer.data(), 1, _readBuffer.size(), _readStream.get());
    if (got == 0 && std::ferror(_readStream.get())) {
        _readStream.reset();
        _error = -8;
        _chunkText.clear();
        return _chunkText;
    }
    _chunkText.clear();
    _encoder.Encode(reinterpret_cast<const unsigned char*>(_readBuffer.data()), got, _chunkText);
    if (std::feof(_readStream.get())) _encoder.Finish(_chunkText);
    return _chunkText;
}

bool ResultBase::SaveFile(const std::string& destination) {
    if (_origin.IsWeb()) {
        Logger::Get()->SetFunc("SaveFile");
        Logger::Get()->Log("Saving refused for the page of %s", _origin.Text().c_str());
        _error = kSaveRefusedForOrigin;
        return false;
    }
    if (!_file.empty() && Util::CopyFile(_file, destination, "PDF Files|*.pdf|", "pdf") == 1) {
        _error = 1;
        return true;
    }
    _error = -8;
    return false;
}
