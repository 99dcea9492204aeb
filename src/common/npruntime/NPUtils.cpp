#include "common/npruntime/NPUtils.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/Util.h"

namespace NPUtils {

std::string ToUpper(const std::string& text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

void NPIdentifierToString(NPIdentifier id, std::string& out) {
    out.clear();
    NPUTF8* name = NPN_UTF8FromIdentifier(id);
    if (name == nullptr) return;
    out = ToUpper(name);
    NPN_MemFree(name);
}

void VariantToString(const NPVariant* v, std::string& out) {
    out.clear();
    if (!IsString(v)) return;
    const NPString& s = v->value.stringValue;
    if (s.UTF8Characters != nullptr && s.UTF8Length > 0) out.assign(s.UTF8Characters, s.UTF8Length);
}

bool StringToVariant(const std::string& s, NPVariant* v) {
    // At least one byte: some browsers answer null for an empty request.
    auto* copy = static_cast<NPUTF8*>(NPN_MemAlloc(static_cast<uint32_t>(s.empty() ? 1 : s.size())));
    if (copy == nullptr) {
        VOID_TO_NPVARIANT(*v);
        return false;
    }
    if (!s.empty()) std::memcpy(copy, s.data(), s.size());
    STRINGN_TO_NPVARIANT(copy, s.size(), *v);
    return true;
}

void VariantToWString(const NPVariant* v, std::wstring& out) {
    std::string narrow;
    VariantToString(v, narrow);
    out = Util::AtoW(narrow, true);
}

bool WStringToVariant(const std::wstring& s, NPVariant* v) {
    return StringToVariant(Util::WtoA(s, true), v);
}

bool VariantToInt(const NPVariant* v, int& out) {
    out = 0;
    if (v == nullptr) return false;
    if (NPVARIANT_IS_INT32(*v)) {
        out = NPVARIANT_TO_INT32(*v);
        return true;
    }
    if (!NPVARIANT_IS_DOUBLE(*v)) return false;
    const double truncated = std::trunc(NPVARIANT_TO_DOUBLE(*v));
    // Converting NaN or a number beyond int has no defined result: refuse it.
    if (!(truncated >= std::numeric_limits<int>::min() && truncated <= std::numeric_limits<int>::max()))
        return false;
    out = static_cast<int>(truncated);
    return true;
}

bool VariantToBool(const NPVariant* v, bool& out) {
    out = false;
    if (v == nullptr || !NPVARIANT_IS_BOOLEAN(*v)) return false;
    out = NPVARIANT_TO_BOOLEAN(*v);
    return true;
}

bool IsString(const NPVariant* v) {
    return v != nullptr && NPVARIANT_IS_STRING(*v);
}

bool IsNumber(const NPVariant* v) {
    return v != nullptr && (NPVARIANT_IS_INT32(*v) || NPVARIANT_IS_DOUBLE(*v));
}

void ObjectToVariant(NPObject* object, NPVariant* v) {
    if (object == nullptr) {
        NULL_TO_NPVARIANT(*v);
    } else {
        OBJECT_TO_NPVARIANT(object, *v);
    }
}

bool IsObjectOfClass(const NPVariant* v, const NPClass* cls) {
    return v != nullptr && NPVARIANT_IS_OBJECT(*v) && NPVARIANT_TO_OBJECT(*v) != nullptr &&
           NPVARIANT_TO_OBJECT(*v)->_class == cls;
}

}  // namespace NPUtils
