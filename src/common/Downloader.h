#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <vector>

class URLStream;

// Collects a whole download in memory, piece by piece, or hands each piece
// on as it arrives.
class Downloader {
public:
    // Receives each piece of a download as it arrives; false stops the
    // download as failed.
    using Sink = std::function<bool(const unsigned char* data, std::size_t size)>;

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
    // As DownloadFile, but every piece goes to `sink` instead of being kept:
    // TotalSize() counts what was handed on, CopyToBuffer has nothing.
    bool DownloadTo(const std::string& url, const Sink& sink);

    // A download of more than `bytes` bytes fails (TooLarge() tells why);
    // nothing beyond the limit is kept or handed on.
    void SetLimit(std::size_t bytes) { _limit = bytes; }
    bool TooLarge() const { return _tooLarge; }

    // Copies the download into destination (TotalSize() bytes) and returns the
    // number of meaningful bytes: with decodePemCrl, a PEM revocation list is
    // replaced by its DER bytes. A null destination gives 0.
    std::size_t CopyToBuffer(unsigned char* destination, bool decodePemCrl) const;

    void ClearDownload();
    std::size_t TotalSize() const { return _totalSize; }
    // The response code of the last download (an HTTP status; 0 for files).
    long ResponseCode() const { return _responseCode; }

    static constexpr std::size_t kReadSize = 512;
    // Pieces are collected in blocks of this size, so that a large download
    // costs little more memory than its bytes.
    static constexpr std::size_t kBlockSize = 65536;

private:
    // Keeps a piece in the blocks.
    void Keep(const unsigned char* data, std::size_t size);

    std::vector<std::vector<unsigned char>> _chunks;
    std::size_t _totalSize = 0;
    std::size_t _limit = std::numeric_limits<std::size_t>::max();
    bool _tooLarge = false;
    long _responseCode = 0;
    URLStream* const _stream = nullptr;
};
