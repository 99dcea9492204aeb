#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace BridgeTest {

// pendrel-bridge run as the browser runs it: messages framed on its
// standard input and output, standard error into a file. The destructor
// kills and reaps it if it is still running.
class BridgeProcess {
public:
    using Json = nlohmann::json;
    static constexpr std::chrono::seconds kWait{60};

    // `argv` from the program on; standard error goes to `errorFile`.
    BridgeProcess(const std::vector<std::string>& argv, const std::string& errorFile);
    ~BridgeProcess();
    BridgeProcess(const BridgeProcess&) = delete;
    BridgeProcess& operator=(const BridgeProcess&) = delete;

    // Bytes as they are (a frame, part of one, anything).
    bool WriteRaw(const std::string& bytes);
    // One frame around `payload`.
    bool Send(const std::string& payload);
    bool Send(const Json& message) { return Send(message.dump()); }
    // The next frame's payload; false on end of output or timeout.
    bool ReceiveRaw(std::string& payload, std::chrono::milliseconds timeout = kWait);
    // The next answer parsed (a JSON null when none came).
    Json Receive(std::chrono::milliseconds timeout = kWait);
    Json Call(const Json& message) {
        Send(message);
        return Receive();
    }
    // A request of this connection: id, op and origin added.
    Json Request(const std::string& op, Json fields = Json::object());

    void CloseInput();
    // The exit status after the process ended by itself, -1 after a timeout
    // (the process is then killed) or a signal.
    int Wait(std::chrono::milliseconds timeout = kWait);
    bool Running();
    std::string Errors() const;

    std::string origin = "https://pages.example:8443";

private:
    bool ReadFull(char* data, std::size_t size, std::chrono::steady_clock::time_point deadline);

    pid_t _pid = -1;
    int _in = -1;   // the bridge's standard input
    int _out = -1;  // the bridge's standard output
    std::string _errorFile;
    std::int64_t _nextId = 1;
    bool _reaped = false;
    int _status = -1;
};

// Sends `op` on `bridge` and expects a successful answer with the same id;
// answers its value (null after a failure, which is reported).
nlohmann::json Expect(BridgeProcess& bridge, const std::string& op,
                      nlohmann::json fields = nlohmann::json::object());
// Sends `op` and expects a refusal; answers the error text.
std::string ExpectError(BridgeProcess& bridge, const std::string& op,
                        nlohmann::json fields = nlohmann::json::object());

}  // namespace BridgeTest
