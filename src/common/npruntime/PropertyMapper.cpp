#include "common/npruntime/PropertyMapper.h"

#include "common/npruntime/NPUtils.h"

void PropertyMapper::Add(const char* name, Kind kind, void* member) {
    _items.emplace(NPUtils::ToUpper(name), Item{kind, member});  // keeps a first entry
}

void PropertyMapper::AddString(const char* name, std::string* member) {
    Add(name, kString, member);
}
void PropertyMapper::AddWString(const char* name, std::wstring* member) {
    Add(name, kWString, member);
}
void PropertyMapper::AddInt(const char* name, int* member) {
    Add(name, kInt, member);
}
void PropertyMapper::AddBool(const char* name, bool* member) {
    Add(name, kBool, member);
}

const PropertyMapper::Item* PropertyMapper::Find(const std::string& name) const {
    const auto it = _items.find(name);
    return it == _items.end() || it->second.member == nullptr ? nullptr : &it->second;
}

bool PropertyMapper::Has(const std::string& name) const {
    return _items.count(name) != 0;
}

bool PropertyMapper::GetProperty(const std::string& name, NPVariant* result) const {
    const Item* item = Find(name);
    if (item == nullptr || result == nullptr) return false;
    switch (item->kind) {
        case kString:
            return NPUtils::StringToVariant(*static_cast<const std::string*>(item->member), result);
        case kWString:
            return NPUtils::WStringToVariant(*static_cast<const std::wstring*>(item->member), result);
        case kInt:
            INT32_TO_NPVARIANT(*static_cast<const int*>(item->member), *result);
            return true;
        case kBool:
            BOOLEAN_TO_NPVARIANT(*static_cast<const bool*>(item->member), *result);
            return true;
    }
    return false;
}

bool PropertyMapper::SetProperty(const std::string& name, const NPVariant* value) const {
    const Item* item = Find(name);
    if (item == nullptr) return false;
    switch (item->kind) {
        case kString:
            NPUtils::VariantToString(value, *static_cast<std::string*>(item->member));
            return true;
        case kWString: {
            std::wstring wide;  // decoded first: malformed text leaves the member as it was
            NPUtils::VariantToWString(value, wide);
            static_cast<std::wstring*>(item->member)->swap(wide);
            return true;
        }
        case kInt:
            return NPUtils::VariantToInt(value, *static_cast<int*>(item->member));
        case kBool:
            return NPUtils::VariantToBool(value, *static_cast<bool*>(item->member));
    }
    return false;
}

bool PropertyMapper::GetProperty(NPIdentifier id, NPVariant* result) const {
    std::string name;
    NPUtils::NPIdentifierToString(id, name);
    return GetProperty(name, result);
}

bool PropertyMapper::SetProperty(NPIdentifier id, const NPVariant* value) const {
    std::string name;
    NPUtils::NPIdentifierToString(id, name);
    return SetProperty(name, value);
}
