#include "npbrowser/IdentifierTable.h"

NPIdentifier IdentifierTable::String(const std::string& utf8) {
    auto& slot = _strings[utf8];
    if (!slot) slot = std::make_unique<Record>(Record{true, utf8, 0});
    return slot.get();
}

NPIdentifier IdentifierTable::Int(int32_t value) {
    auto& slot = _ints[value];
    if (!slot) slot = std::make_unique<Record>(Record{false, std::string(), value});
    return slot.get();
}

NPIdentifier IdentifierTable::ForKey(const std::string& utf8) {
    const bool digits = !utf8.empty() && utf8.size() <= 10 &&
                        utf8.find_first_not_of("0123456789") == std::string::npos &&
                        (utf8 == "0" || utf8[0] != '0');
    if (digits) {
        const long long value = std::stoll(utf8);
        if (value <= INT32_MAX) return Int(static_cast<int32_t>(value));
    }
    return String(utf8);
}

bool IdentifierTable::IsString(NPIdentifier id) {
    return id != nullptr && static_cast<const Record*>(id)->isString;
}

std::string IdentifierTable::Name(NPIdentifier id) {
    return IsString(id) ? static_cast<const Record*>(id)->name : std::string();
}

int32_t IdentifierTable::Number(NPIdentifier id) {
    return id != nullptr && !IsString(id) ? static_cast<const Record*>(id)->number : 0;
}

std::string IdentifierTable::Key(NPIdentifier id) {
    if (id == nullptr) return std::string();
    return IsString(id) ? Name(id) : std::to_string(Number(id));
}
