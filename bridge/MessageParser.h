#pragma once

#include <nlohmann/json.hpp>
#include <string>

// Parses one message; a value that is_discarded() for text that is not JSON.
// A feed's Base64 text is megabytes long: the top-level "data" string of a
// large message, when it holds only plain ASCII (no escapes), is cut out and
// copied as it is, and only the rest goes through the JSON parser, which
// would otherwise spend most of a feed's time on it.
namespace MessageParser {

nlohmann::json Parse(const std::string& text);

// Messages from this size on take the fast way.
constexpr std::size_t kLargeMessage = 64 * 1024;

}  // namespace MessageParser
