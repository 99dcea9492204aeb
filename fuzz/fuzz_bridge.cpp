// The native-messaging bridge as a web page reaches it: any sequence of
// messages (one per line of the input) to one page's connection, with the
// real plug-in behind it. No crash, and every answer is one JSON object of
// at most 1 MiB that says whether it worked, carries the request's id and,
// when refused, why; the quick parse of large messages reads what the JSON
// parser reads.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "bridge/BridgeSession.h"
#include "bridge/MessageParser.h"
#include "fuzz/FuzzSupport.h"

namespace {

using Json = nlohmann::json;

// As the extension stamps it: the browser's origin of the page, never one
// the page names. A web origin where nothing listens, so that a document
// the page asks for from its own origin fails at once.
const char kOrigin[] = "http://127.0.0.1:9";
constexpr int kMaxMessages = 64;

// The message as the JSON parser reads it, checked against the quick parse.
Json Parsed(const std::string& line) {
    const Json quick = MessageParser::Parse(line);
    Json full = Json::parse(line, nullptr, false);
    FUZZ_CHECK(quick.is_discarded() == full.is_discarded());
    if (!full.is_discarded()) FUZZ_CHECK(quick == full);
    return full;
}

void CheckAnswer(const Json& request, const std::string& answer) {
    FUZZ_CHECK(answer.size() <= 1024 * 1024);
    const Json parsed = Json::parse(answer, nullptr, false);
    FUZZ_CHECK(parsed.is_object());
    const auto ok = parsed.find("ok");
    FUZZ_CHECK(ok != parsed.end() && ok->is_boolean());
    if (!ok->get<bool>()) {
        const auto error = parsed.find("error");
        FUZZ_CHECK(error != parsed.end() && error->is_string() &&
                   !error->get_ref<const std::string&>().empty());
    }
    const auto id = request.is_object() ? request.find("id") : request.end();
    if (id != request.end() && id->is_number_integer()) FUZZ_CHECK(parsed.value("id", Json()) == *id);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const std::string& scratch = Fuzz::Scratch();
    // No windows, no origins allowed before, and no network wait worth the name.
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("PENDREL_ALLOWED_ORIGINS_FILE", (scratch + "/allowed-origins").c_str(), 1);
    ::setenv("PENDREL_NET_CONNECT_TIMEOUT", "1", 1);
    ::setenv("PENDREL_NET_STALL_TIMEOUT", "1", 1);
    // Each input is a connection of its own that loads the plug-in and gives
    // it back; the library stays mapped, for the coverage counters libFuzzer
    // keeps in it.
    if (::dlopen(PENDREL_FUZZ_PLUGIN, RTLD_NOW | RTLD_NODELETE) == nullptr)
        Fuzz::Fail(::dlerror(), __FILE__, __LINE__);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    BridgeSession session(PENDREL_FUZZ_PLUGIN);
    FUZZ_CHECK(session.Start());
    std::size_t at = 0;
    for (int count = 0; at <= input.size() && count < kMaxMessages; ++count) {
        std::size_t end = input.find('\n', at);
        if (end == std::string::npos) end = input.size();
        const std::string line = input.substr(at, end - at);
        at = end + 1;

        Json request = Parsed(line);
        if (request.is_object()) request["origin"] = kOrigin;
        const std::string message =
            request.is_object() ? request.dump(-1, ' ', false, Json::error_handler_t::replace) : line;
        CheckAnswer(request, session.Handle(message));
    }
    session.Close();
    return 0;
}
