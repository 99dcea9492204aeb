#include "pdf/ByteRange.h"

#include <charconv>

namespace PDF {

namespace {

std::string Integer(long long value) {
    char text[32];
    const auto done = std::to_chars(text, text + sizeof text, value);
    return std::string(text, done.ptr);
}

}  // namespace

ByteRange ByteRange::ForDictionaryAt(int headerEnd, unsigned long reserve) {
    ByteRange range;
    range.b1 = 0;
    range.b2 = headerEnd + kHoleOffset;
    range.b3 = static_cast<int>(headerEnd + 60 + 2 * static_cast<long long>(reserve));
    range.b4 = 0;
    return range;
}

std::optional<std::string> ByteRange::FixedText(int end) const {
    const long long b4Now = static_cast<long long>(end) - b3;
    // Writing a longer text would overwrite the /Contents key after the
    // placeholder and corrupt the dictionary.
    if (b1 < 0 || b2 < 0 || b3 < 0 || b4Now < 0) return std::nullopt;
    std::string text = "[" + Integer(b1) + " " + Integer(b2) + " " + Integer(b3) + " " + Integer(b4Now) + "]";
    if (text.size() > static_cast<size_t>(kPlaceholderLength)) return std::nullopt;
    text.append(kPlaceholderLength - text.size(), ' ');
    return text;
}

std::string ByteRange::Placeholder() {
    return "[99999999 99999999 99999999 99999999]";
}

std::string ByteRange::ContentsReserve(unsigned long reserve) {
    std::string bytes(reserve, '\0');
    const char marker[] = {'\xF0', '\xF2', '\xF3'};
    for (size_t i = 0; i < bytes.size() && i < sizeof marker; ++i) bytes[i] = marker[i];
    return bytes;
}

}  // namespace PDF
