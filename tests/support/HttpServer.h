#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace TestSupport {

// A small HTTP/1.1 server on 127.0.0.1 and a free port, on its own thread,
// answering each request from a table of paths; unknown paths get 404.
// Connections are served one after another and closed after the answer.
class HttpServer {
public:
    enum class Mode {
        Http,         // answer requests from the table
        CloseAtOnce,  // accept every connection and close it unanswered
        Silent,       // accept every connection and never answer nor close it
    };

    explicit HttpServer(Mode mode = Mode::Http);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // path is what follows host:port, from its "/" (query included).
    void Serve(const std::string& path, int status, const std::string& body);
    // Sends bytes as they are (a broken answer, or none at all) and closes.
    void ServeRaw(const std::string& path, const std::string& bytes);
    // Takes the request and keeps the connection open without answering.
    void ServeSilence(const std::string& path);

    int Port() const { return _port; }
    std::string Url(const std::string& path) const;
    // Waits until a request for path (any connection in the other modes) arrived.
    bool WaitForRequest(const std::string& path, std::chrono::milliseconds timeout);
    int RequestCount(const std::string& path);

private:
    struct Route {
        bool silent = false;
        std::string bytes;
    };

    void Run();
    void Handle(int client);
    void Record(const std::string& path);

    const Mode _mode;
    int _listen_fd = -1;
    int _wake[2] = {-1, -1};
    int _port = 0;
    std::vector<int> _held;  // connections kept open on purpose
    std::mutex _mutex;
    std::condition_variable _arrived;
    std::map<std::string, Route> _routes;
    std::map<std::string, int> _requests;
    std::thread _thread;
};

}  // namespace TestSupport
