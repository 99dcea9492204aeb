#include "common/Downloader.h"

#include <boost/thread/thread.hpp>
#include <cstring>
#include <memory>

#include "common/Logger.h"
#include "common/PemCrl.h"
#include "common/URLStream.h"

bool Downloader::DownloadFile(const std::string& url) {
    Logger::Get()->SetFunc("DownloadFile");
    Logger::Get()->Log("Entering function");

    ClearDownload();
    std::unique_ptr<URLStream> owned;
    URLStream* stream = _stream;
    if (stream == nullptr) {
        owned = CreateURLStream(url);
        stream = owned.get();
    }

    unsigned char scratch[kReadSize];
    for (;;) {
        const long count = stream->read(scratch, sizeof(scratch));
        boost::this_thread::interruption_point();
        if (count < 0) _responseCode = stream->ResponseCode();
        if (count == -1) break;
        if (count < 0) return false;  // what arrived so far stays in the list
        if (count == 0) continue;     // the stream waits on its sockets itself
        _chunks.emplace_back(scratch, scratch + count);
        _totalSize += static_cast<std::size_t>(count);
    }
    return !_chunks.empty();
}

std::size_t Downloader::CopyToBuffer(unsigned char* destination, bool decodePemCrl) const {
    if (destination == nullptr) return 0;

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
}
