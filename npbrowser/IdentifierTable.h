#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "npapi/npruntime.h"

// Interned identifiers: the same name (or integer) always gives the same
// NPIdentifier, and identifiers live as long as the table.
class IdentifierTable {
public:
    IdentifierTable() = default;
    IdentifierTable(const IdentifierTable&) = delete;
    IdentifierTable& operator=(const IdentifierTable&) = delete;

    NPIdentifier String(const std::string& utf8);
    NPIdentifier Int(int32_t value);
    // A property key as the script gives it: a canonical array index in the
    // int32 range becomes an integer identifier, anything else a string one.
    NPIdentifier ForKey(const std::string& utf8);

    // Queries on an identifier made by this table; null answers "not a
    // string", empty text and 0.
    static bool IsString(NPIdentifier id);
    static std::string Name(NPIdentifier id);
    static int32_t Number(NPIdentifier id);
    // The key a script would use: the name, or the number in decimal.
    static std::string Key(NPIdentifier id);

private:
    struct Record {
        bool isString;
        std::string name;
        int32_t number;
    };
    std::map<std::string, std::unique_ptr<Record>> _strings;
    std::map<int32_t, std::unique_ptr<Record>> _ints;
};
