#include "bridge/MessageParser.h"

#include <cstring>

namespace MessageParser {

namespace {

constexpr std::size_t kNone = std::string::npos;

bool Space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t SkipSpace(const std::string& t, std::size_t i) {
    while (i < t.size() && Space(t[i])) ++i;
    return i;
}

// The position after the string starting at i (a quote), or kNone.
std::size_t EndOfString(const std::string& t, std::size_t i) {
    for (++i; i < t.size(); ++i) {
        if (t[i] == '\\') {
            ++i;
        } else if (t[i] == '"') {
            return i + 1;
        }
    }
    return kNone;
}

// The position after the value starting at i, or kNone.
std::size_t EndOfValue(const std::string& t, std::size_t i) {
    if (i >= t.size()) return kNone;
    if (t[i] == '"') return EndOfString(t, i);
    if (t[i] == '{' || t[i] == '[') {
        int depth = 0;
        while (i < t.size()) {
            const char c = t[i];
            if (c == '"') {
                i = EndOfString(t, i);
                if (i == kNone) return kNone;
                continue;
            }
            if (c == '{' || c == '[') ++depth;
            if ((c == '}' || c == ']') && --depth == 0) return i + 1;
            ++i;
        }
        return kNone;
    }
    while (i < t.size() && t[i] != ',' && t[i] != '}' && t[i] != ']' && !Space(t[i])) ++i;
    return i;
}

// Where the top-level "data" string's characters lie, when they are all
// plain ASCII without quotes or escapes and the key comes once; false
// otherwise (the JSON parser then reads the message as it is).
bool FindPlainData(const std::string& t, std::size_t& begin, std::size_t& end) {
    bool found = false;
    std::size_t i = SkipSpace(t, 0);
    if (i >= t.size() || t[i] != '{') return false;
    ++i;
    for (;;) {
        i = SkipSpace(t, i);
        if (i >= t.size() || t[i] != '"') return false;
        const std::size_t keyEnd = EndOfString(t, i);
        if (keyEnd == kNone) return false;
        const bool isData = keyEnd - i == 6 && t.compare(i, 6, "\"data\"") == 0;
        if (isData && found) return false;  // a second "data": the parser decides which counts
        i = SkipSpace(t, keyEnd);
        if (i >= t.size() || t[i] != ':') return false;
        i = SkipSpace(t, i + 1);
        if (isData) {
            if (i >= t.size() || t[i] != '"') return false;
            std::size_t j = i + 1;
            const char* p = t.data();
            while (j < t.size() && p[j] >= 0x20 && p[j] <= 0x7e && p[j] != '"' && p[j] != '\\') ++j;
            if (j >= t.size() || p[j] != '"') return false;
            begin = i + 1;
            end = j;
            found = true;
            i = j + 1;
        } else {
            i = EndOfValue(t, i);
            if (i == kNone) return false;
        }
        i = SkipSpace(t, i);
        if (i < t.size() && t[i] == '}') return found;
        if (i >= t.size() || t[i] != ',') return false;
        ++i;
    }
}

}  // namespace

nlohmann::json Parse(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = 0;
    if (text.size() < kLargeMessage || !FindPlainData(text, begin, end))
        return nlohmann::json::parse(text, nullptr, false);
    // The message with an empty "data" string: JSON exactly when the whole is.
    std::string rest;
    rest.reserve(text.size() - (end - begin));
    rest.append(text, 0, begin).append(text, end, kNone);
    nlohmann::json message = nlohmann::json::parse(rest, nullptr, false);
    if (!message.is_discarded() && message.is_object()) message["data"] = text.substr(begin, end - begin);
    return message;
}

}  // namespace MessageParser
