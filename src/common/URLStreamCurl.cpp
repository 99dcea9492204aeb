#include "common/URLStreamCurl.h"

#include <curl/curl.h>

#include <algorithm>
#include <boost/thread/thread.hpp>
#include <cstring>
#include <limits>
#include <new>

#include "common/Logger.h"
#include "common/NetTimeouts.h"

namespace {

struct EasyCleanup {
    void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM* handle) const noexcept { curl_multi_cleanup(handle); }
};
using EasyPtr = std::unique_ptr<CURL, EasyCleanup>;
using MultiPtr = std::unique_ptr<CURLM, MultiCleanup>;

// libcurl's global set-up, once per process, before the first handle (it is
// not safe to let two threads race into it through curl_easy_init).
bool GlobalInit() {
    static const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok;
}

// The transfers documents and revocation lists come by; a URL naming any
// other scheme libcurl knows (dict, gopher, smb, ...) is refused.
const char kProtocols[] = "http,https,ftp,tftp,file";

}  // namespace

struct URLStreamCurl::Handles {
    MultiPtr multi;
    EasyPtr easy;
    bool added = false;

    Handles() = default;
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;
    // The easy handle leaves the multi handle before either is freed.
    ~Handles() {
        if (added) curl_multi_remove_handle(multi.get(), easy.get());
    }
};

URLStreamCurl::URLStreamCurl(const std::string& url) : _stall(NetTimeouts::Stall()) {
    _buffer.reserve(kBufferSize);
    if (!GlobalInit()) return;

    auto handles = std::make_unique<Handles>();
    handles->multi.reset(curl_multi_init());
    handles->easy.reset(curl_easy_init());
    if (!handles->multi || !handles->easy) return;

    CURL* const easy = handles->easy.get();
    const curl_write_callback write = &URLStreamCurl::WriteCallback;
    // No signals: transfers run on worker threads. Proxies are taken from
    // the environment by libcurl itself.
    const bool configured = curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, write) == CURLE_OK &&
                            curl_easy_setopt(easy, CURLOPT_WRITEDATA, this) == CURLE_OK &&
                            curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
                            curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, kProtocols) == CURLE_OK &&
                            curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                                             static_cast<long>(NetTimeouts::Connect().count())) == CURLE_OK &&
                            curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    if (!configured) return;
    if (curl_multi_add_handle(handles->multi.get(), easy) != CURLM_OK) return;
    handles->added = true;
    _handles = std::move(handles);
}

URLStreamCurl::~URLStreamCurl() = default;

std::size_t URLStreamCurl::WriteCallback(char* data, std::size_t size, std::size_t count, void* stream) {
    const std::size_t bytes = size * count;
    // Called from inside libcurl: nothing may unwind through it. A piece that
    // cannot be stored, or one past the limit, aborts the transfer, which
    // then reads as failed.
    try {
        if (!static_cast<URLStreamCurl*>(stream)->Append(data, bytes)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return bytes;
}

long URLStreamCurl::ResponseCode() const {
    long code = 0;
    if (!_handles || curl_easy_getinfo(_handles->easy.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK)
        return 0;
    return code;
}

bool URLStreamCurl::Append(const char* data, std::size_t size) {
    // What fits under the limit is kept, so the reader sees the transfer
    // reach it before the failure.
    const std::size_t room = _limit - std::min(_received, _limit);
    const std::size_t kept = std::min(size, room);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    _buffer.insert(_buffer.end(), bytes, bytes + kept);
    _received += kept;
    if (kept > 0) _lastProgress = std::chrono::steady_clock::now();
    if (kept == size) return true;
    Logger::Get()->SetFunc("URLStreamCurl");
    Logger::Get()->Log("Transfer stopped: more than %zu bytes", _limit);
    return false;
}

void URLStreamCurl::CheckStall() {
    if (std::chrono::steady_clock::now() - _lastProgress < _stall) return;
    Logger::Get()->SetFunc("URLStreamCurl");
    Logger::Get()->Log("Transfer stopped: no data for %lld ms", static_cast<long long>(_stall.count()));
    _failed = true;
    _finished = true;
}

bool URLStreamCurl::Step() {
    if (!_started) {
        _started = true;
        _lastProgress = std::chrono::steady_clock::now();
    }
    CURLM* const multi = _handles->multi.get();
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) return false;

    int queued = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->data.result != CURLE_OK) _failed = true;
    }
    if (running == 0) {
        _finished = true;
        return true;
    }
    if (!_buffer.empty()) return true;
    // Nothing arrived: wait on the transfer's sockets for a short while
    // instead of letting the caller spin.
    if (curl_multi_poll(multi, nullptr, 0, kWaitMilliseconds, nullptr) != CURLM_OK) return false;
    CheckStall();
    return true;
}

long URLStreamCurl::read(unsigned char* buffer, std::size_t size) {
    if (!_handles) return -2;

    if (_readPos == _buffer.size() && !_finished) {
        _readPos = 0;
        _buffer.clear();
        const bool stepped = Step();
        boost::this_thread::interruption_point();
        if (!stepped) return -2;
    }

    const std::size_t unread = _buffer.size() - _readPos;
    if (unread == 0) {
        if (!_finished) return 0;
        // A transfer that broke off (refused, reset, unreadable file) is an
        // error, not a normal end, even when some data came before.
        return _failed ? -2 : -1;
    }
    if (buffer == nullptr) return 0;

    const std::size_t count =
        std::min({unread, size, static_cast<std::size_t>(std::numeric_limits<long>::max())});
    std::memcpy(buffer, _buffer.data() + _readPos, count);
    _readPos += count;
    return static_cast<long>(count);
}

std::unique_ptr<URLStream> CreateURLStream(const std::string& url) {
    return std::make_unique<URLStreamCurl>(url);
}
