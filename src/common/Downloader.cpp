#include "common/Downloader.h"

#include <algorithm>
#include <boost/thread/thread.hpp>
#include <cstring>
#include <memory>

#include "common/Logger.h"
#include "common/PemCrl.h"
#include "common/URLStream.h"

bool Downloader::DownloadFile(const std::string& url) {
    return DownloadTo(url, [this](const unsigned char* data, std::size_t size) {
        Keep(data, size);
        return true;
    });
}

bool Downloader::DownloadTo(const std::string& url, const Sink& sink) {
    Logger::Get()->SetFunc("DownloadFile");
    Logger::Get()->Log("Entering function");

    ClearDownload();
    std::unique_ptr<URLStream> owned;
    URLStream* stream = _stream;
    if (stream == nullptr) {
        owned = CreateURLStream(url);
        stream = owned.get();
    }
    // One byte more than the limit is let through, so that a resource of
    // exactly the limit still reads as complete.
    stream->SetLimit(_limit == std::numeric_limits<std::size_t>::max() ? _limit : _limit + 1);

    unsigned char scratch[kReadSize];
    for (;;) {
        const long count = stream->read(scratch, sizeof(scratch));
        boost::this_thread::interruption_point();
        if (count < 0) _responseCode = stream->ResponseCode();
        if (count == -1) break;
        if (count < 0) return false;  // what arrived so far stays
        if (count == 0) continue;     // the stream waits on its sockets itself
        const auto size = static_cast<std::size_t>(count);
        if (size > _limit - _totalSize) {
            Logger::Get()->SetFunc("DownloadFile");
            Logger::Get()->Log("Download refused: more than %zu bytes", _limit);
            _tooLarge = true;
            return false;
        }
        if (!sink(scratch, size)) return false;
        _totalSize += size;
    }
    return _totalSize > 0;
}

void Downloader::Keep(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        if (_chunks.empty() || _chunks.back().size() == kBlockSize) {
            _chunks.emplace_back();
            _chunks.back().reserve(kBlockSize);
        }
        std::vector<unsigned char>& block = _chunks.back();
        const std::size_t n = std::min(size, kBlockSize - block.size());
        block.insert(block.end(), data, data + n);
        data += n;
        size -= n;
    }
}

std::size_t Downloader::CopyToBuffer(unsigned char* destination, bool decodePemCrl) const {
    if (destination == nullptr || _chunks.empty()) return 0;

    unsigned char* out = destination;
    for (const auto& chunk : _chunks) {
        std::memcpy(out, chunk.data(), chunk.size());
        out += chunk.size();
    }
    if (!decodePemCrl || !Util::IsPemCrl(destination, _totalSize)) return _totalSize;

    Logger::Get()->SetFunc("CopyToBuffer");
    Logger::Get()->Log("Downloaded PEM CRL using HTTP, FTP of FILE protocol, decoding...");
    const std::vector<unsigned char> der = Util::DecodePemCrl(destination, _totalSize);
    if (!der.empty()) std::memcpy(destination, der.data(), der.size());  // never longer than the text
    return der.size();
}

void Downloader::ClearDownload() {
    _chunks.clear();
    _totalSize = 0;
    _responseCode = 0;
    _tooLarge = false;
}
