#include "tests/bridge/BridgeProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace BridgeTest {

BridgeProcess::BridgeProcess(const std::vector<std::string>& argv, const std::string& errorFile)
    : _errorFile(errorFile) {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    if (::posix_spawn(&_pid, args[0], &actions, nullptr, args.data(), environ) != 0) _pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    _in = toChild[1];
    _out = fromChild[0];
}

BridgeProcess::~BridgeProcess() {
    if (_in >= 0) ::close(_in);
    if (_out >= 0) ::close(_out);
    if (_pid > 0 && !_reaped) {
        ::kill(_pid, SIGKILL);
        ::waitpid(_pid, nullptr, 0);
    }
}

bool BridgeProcess::WriteRaw(const std::string& bytes) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(_in, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

bool BridgeProcess::Send(const std::string& payload) {
    const auto length = static_cast<std::uint32_t>(payload.size());
    std::string frame(reinterpret_cast<const char*>(&length), sizeof length);
    return WriteRaw(frame + payload);
}

bool BridgeProcess::ReadFull(char* data, std::size_t size, std::chrono::steady_clock::time_point deadline) {
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{_out, POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = ::read(_out, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool BridgeProcess::ReceiveRaw(std::string& payload, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::uint32_t length = 0;
    if (!ReadFull(reinterpret_cast<char*>(&length), sizeof length, deadline)) return false;
    payload.assign(length, '\0');
    return ReadFull(payload.data(), length, deadline);
}

BridgeProcess::Json BridgeProcess::Receive(std::chrono::milliseconds timeout) {
    std::string payload;
    if (!ReceiveRaw(payload, timeout)) return nullptr;
    return Json::parse(payload, nullptr, false);
}

BridgeProcess::Json BridgeProcess::Request(const std::string& op, Json fields) {
    fields["id"] = _nextId++;
    fields["op"] = op;
    if (!fields.contains("origin")) fields["origin"] = origin;
    return fields;
}

void BridgeProcess::CloseInput() {
    if (_in >= 0) ::close(_in);
    _in = -1;
}

int BridgeProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!_reaped && _pid > 0) {
        int status = 0;
        const pid_t done = ::waitpid(_pid, &status, WNOHANG);
        if (done == _pid) {
            _reaped = true;
            _status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(_pid, SIGKILL);
            ::waitpid(_pid, nullptr, 0);
            _reaped = true;
            _status = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return _status;
}

bool BridgeProcess::Running() {
    if (_reaped || _pid <= 0) return false;
    int status = 0;
    if (::waitpid(_pid, &status, WNOHANG) != _pid) return true;
    _reaped = true;
    _status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

std::string BridgeProcess::Errors() const {
    std::ifstream in(_errorFile);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

nlohmann::json Expect(BridgeProcess& bridge, const std::string& op, nlohmann::json fields) {
    const nlohmann::json request = bridge.Request(op, std::move(fields));
    const nlohmann::json answer = bridge.Call(request);
    EXPECT_TRUE(answer.is_object() && answer.value("ok", false) && answer["id"] == request["id"])
        << request.dump().substr(0, 300) << " -> " << answer.dump().substr(0, 300);
    return answer.is_object() && answer.contains("value") ? answer["value"] : nlohmann::json();
}

std::string ExpectError(BridgeProcess& bridge, const std::string& op, nlohmann::json fields) {
    const nlohmann::json request = bridge.Request(op, std::move(fields));
    const nlohmann::json answer = bridge.Call(request);
    EXPECT_TRUE(answer.is_object() && answer.value("ok", true) == false && answer["id"] == request["id"] &&
                answer["error"].is_string())
        << request.dump().substr(0, 300) << " -> " << answer.dump().substr(0, 300);
    return answer.is_object() && answer.contains("error") && answer["error"].is_string()
               ? answer["error"].get<std::string>()
               : std::string();
}

}  // namespace BridgeTest
