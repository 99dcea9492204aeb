#include "support/HttpServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace TestSupport {

namespace {

const char kAnyConnection[] = "*";
const int kRequestTimeoutMs = 5000;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        default:
            return "Status";
    }
}

std::string Response(int status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
           "\r\nContent-Type: application/octet-stream\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

// The request head, read until its blank line (bounded in time and size).
std::string ReadRequestHead(int fd) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, kRequestTimeoutMs) <= 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    return head;
}

// "GET /path HTTP/1.1" -> "/path".
std::string RequestPath(const std::string& head) {
    const std::size_t first = head.find(' ');
    if (first == std::string::npos) return std::string();
    const std::size_t second = head.find(' ', first + 1);
    if (second == std::string::npos) return std::string();
    return head.substr(first + 1, second - first - 1);
}

}  // namespace

HttpServer::HttpServer(Mode mode) : _mode(mode) {
    _listen_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (_listen_fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(_listen_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(_listen_fd, 16) != 0 ||
        ::getsockname(_listen_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(_wake, O_CLOEXEC) != 0) {
        ::close(_listen_fd);
        throw std::runtime_error("cannot listen on loopback");
    }
    _port = ntohs(address.sin_port);
    _thread = std::thread(&HttpServer::Run, this);
}

HttpServer::~HttpServer() {
    const char stop = 's';
    if (::write(_wake[1], &stop, 1) != 1) {
        // The pipe cannot be full or closed here; nothing else to do.
    }
    _thread.join();
    for (const int fd : _held) ::close(fd);
    ::close(_listen_fd);
    ::close(_wake[0]);
    ::close(_wake[1]);
}

std::string HttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(_port) + path;
}

void HttpServer::Serve(const std::string& path, int status, const std::string& body) {
    ServeRaw(path, Response(status, body));
}

void HttpServer::ServeRaw(const std::string& path, const std::string& bytes) {
    const std::lock_guard<std::mutex> lock(_mutex);
    _routes[path] = Route{false, bytes};
}

void HttpServer::ServeSilence(const std::string& path) {
    const std::lock_guard<std::mutex> lock(_mutex);
    _routes[path] = Route{true, std::string()};
}

bool HttpServer::WaitForRequest(const std::string& path, std::chrono::milliseconds timeout) {
    const std::string key = _mode == Mode::Http ? path : kAnyConnection;
    std::unique_lock<std::mutex> lock(_mutex);
    return _arrived.wait_for(lock, timeout, [&] { return _requests[key] > 0; });
}

int HttpServer::RequestCount(const std::string& path) {
    const std::lock_guard<std::mutex> lock(_mutex);
    return _requests[_mode == Mode::Http ? path : kAnyConnection];
}

void HttpServer::Record(const std::string& path) {
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        ++_requests[path];
    }
    _arrived.notify_all();
}

void HttpServer::Run() {
    for (;;) {
        pollfd fds[2] = {{_listen_fd, POLLIN, 0}, {_wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        const int client = ::accept4(_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) Handle(client);
    }
}

void HttpServer::Handle(int client) {
    if (_mode == Mode::CloseAtOnce) {
        Record(kAnyConnection);
        ::close(client);
        return;
    }
    if (_mode == Mode::Silent) {
        _held.push_back(client);
        Record(kAnyConnection);
        return;
    }

    const std::string path = RequestPath(ReadRequestHead(client));
    Route route{false, Response(404, "not found")};
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        const auto found = _routes.find(path);
        if (found != _routes.end()) route = found->second;
    }
    // Counted before it is answered: a client that reacts to the answer
    // must find its request already recorded.
    Record(path);
    if (route.silent) {
        _held.push_back(client);
    } else {
        SendAll(client, route.bytes);
        ::shutdown(client, SHUT_WR);
        ::close(client);
    }
}

}  // namespace TestSupport
