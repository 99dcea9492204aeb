#pragma once

#include <cstddef>
#include <string>
#include <vector>

class URLStream;

// Collects a whole download in memory, piece by piece.
class Downloader {
public:
    Downloader() = default;
    // Reads from the caller's stream (not owned) instead of opening one per URL.
    explicit Downloader(URLStream& stream) : _stream(&stream) {}
    ~Downloader() = default;
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // Reads the whole resource; true when the stream ended normally after at
    // least one byte. An empty resource and a failure before any data both
    // give false; an HTTP error page counts as data. A previous download is
    // discarded first. Checks for thread interruption after every read.
    bool DownloadFile(const std::string& url);

    // Copies the download into destination (TotalSize() bytes) and returns the
    // number of meaningful bytes: with decodePemCrl, a PEM revocation list is
    // replaced by its DER bytes. A null destination gives 0.
    std::size_t CopyToBuffer(unsigned char* destination, bool decodePemCrl) const;

    void ClearDownload();
    std::size_t TotalSize() const { return _totalSize; }
    // The response code of the last download (an HTTP status; 0 for files).
    long ResponseCode() const { return _responseCode; }

    static constexpr std::size_t kReadSize = 512;

private:
    std::vector<std::vector<unsigned char>> _chunks;
    std::size_t _totalSize = 0;
    long _responseCode = 0;
    URLStream* const _stream = nullptr;
};
