#pragma once

#include <map>
#include <string>

#include "npapi/npruntime.h"

// Script properties that are plain data members of a scriptable object:
// registered by name (stored in upper case, first registration wins), read
// and written with the variant conversions of NPUtils. The members are not
// owned; they live in the object that owns this mapper.
class PropertyMapper {
public:
    enum Kind { kString = 0, kWString = 1, kInt = 2, kBool = 3 };

    void AddString(const char* name, std::string* member);
    void AddWString(const char* name, std::wstring* member);
    void AddInt(const char* name, int* member);
    void AddBool(const char* name, bool* member);

    // name: already in upper case (as NPUtils::NPIdentifierToString gives it).
    bool Has(const std::string& name) const;
    // False for an unknown name or a null member; else the member as a variant.
    bool GetProperty(const std::string& name, NPVariant* result) const;
    // False for an unknown name or a null member, and for a value of the
    // wrong type for an int or bool member (which is then 0 or false). A
    // string member takes the text of a string value and empty text otherwise.
    bool SetProperty(const std::string& name, const NPVariant* value) const;

    bool GetProperty(NPIdentifier id, NPVariant* result) const;
    bool SetProperty(NPIdentifier id, const NPVariant* value) const;

private:
    struct Item {
        Kind kind;
        void* member;
    };
    void Add(const char* name, Kind kind, void* member);
    const Item* Find(const std::string& name) const;

    std::map<std::string, Item> _items;
};
