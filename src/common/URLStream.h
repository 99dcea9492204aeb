#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A pull-style byte stream over one URL (http, https, ftp, tftp, file).
class URLStream {
public:
    virtual ~URLStream() = default;

    // Copies at most size bytes into buffer and answers:
    //   > 0  that many bytes were copied;
    //     0  no data at this moment, the transfer is still running: call again;
    //    -1  the transfer is complete and all its data has been read;
    //    -2  error (no transfer, the transfer failed, it exceeded its limit,
    //        or it took too long: see NetTimeouts).
    // Checks for a thread interruption request after every transfer step.
    virtual long read(unsigned char* buffer, std::size_t size) = 0;
    // The protocol's response code once known (an HTTP status, an FTP reply
    // code); 0 when there is none, as for files.
    virtual long ResponseCode() const { return 0; }
    // Ends the transfer as failed once more than `bytes` bytes would have
    // arrived, so that an endless source cannot fill the memory while one
    // transfer step runs. Streams without such a check ignore it (the
    // Downloader counts on its own as well).
    virtual void SetLimit(std::size_t /*bytes*/) {}

protected:
    URLStream() = default;
    URLStream(const URLStream&) = delete;
    URLStream& operator=(const URLStream&) = delete;
};

// A new stream for url; the transfer starts with the first read.
std::unique_ptr<URLStream> CreateURLStream(const std::string& url);
