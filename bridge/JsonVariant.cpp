#include "bridge/JsonVariant.h"

#include <cstdint>
#include <limits>

#include "bridge/ObjectHandles.h"
#include "npbrowser/Browser.h"

namespace JsonVariant {

bool ToVariant(const nlohmann::json& value, const ObjectHandles& handles, NPVariant& out,
               std::string& error) {
    VOID_TO_NPVARIANT(out);
    switch (value.type()) {
        case nlohmann::json::value_t::null:
            NULL_TO_NPVARIANT(out);
            return true;
        case nlohmann::json::value_t::boolean:
            BOOLEAN_TO_NPVARIANT(value.get<bool>(), out);
            return true;
        case nlohmann::json::value_t::number_integer: {
            const auto number = value.get<std::int64_t>();
            if (number >= std::numeric_limits<std::int32_t>::min() &&
                number <= std::numeric_limits<std::int32_t>::max()) {
                INT32_TO_NPVARIANT(static_cast<std::int32_t>(number), out);
            } else {
                DOUBLE_TO_NPVARIANT(static_cast<double>(number), out);
            }
            return true;
        }
        case nlohmann::json::value_t::number_unsigned: {
            const auto number = value.get<std::uint64_t>();
            if (number <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
                INT32_TO_NPVARIANT(static_cast<std::int32_t>(number), out);
            } else {
                DOUBLE_TO_NPVARIANT(static_cast<double>(number), out);
            }
            return true;
        }
        case nlohmann::json::value_t::number_float:
            DOUBLE_TO_NPVARIANT(value.get<double>(), out);
            return true;
        case nlohmann::json::value_t::string: {
            const auto& text = value.get_ref<const std::string&>();
            if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
                error = "a string is too long";
                return false;
            }
            STRINGN_TO_NPVARIANT(text.data(), static_cast<uint32_t>(text.size()), out);
            return true;
        }
        case nlohmann::json::value_t::object: {
            if (value.size() == 1 && value.contains("$void") && value["$void"] == true) return true;
            if (value.size() == 1 && value.contains("$object")) {
                const nlohmann::json& handle = value["$object"];
                NPObject* object =
                    handle.is_number_integer() ? handles.Find(handle.get<std::int64_t>()) : nullptr;
                if (object == nullptr) {
                    error = "no object " + handle.dump();
                    return false;
                }
                OBJECT_TO_NPVARIANT(object, out);
                return true;
            }
            error = "an object other than {\"$object\": handle} or {\"$void\": true} cannot be passed";
            return false;
        }
        default:
            error = std::string(value.is_array() ? "an " : "a ") + value.type_name() + " cannot be passed";
            return false;
    }
}

nlohmann::json FromVariant(NPVariant& variant, ObjectHandles& handles) {
    nlohmann::json value;
    switch (variant.type) {
        case NPVariantType_Void:
            value = {{"$void", true}};
            break;
        case NPVariantType_Null:
            break;
        case NPVariantType_Bool:
            value = variant.value.boolValue;
            break;
        case NPVariantType_Int32:
            value = variant.value.intValue;
            break;
        case NPVariantType_Double:
            value = variant.value.doubleValue;
            break;
        case NPVariantType_String: {
            const NPString& s = variant.value.stringValue;
            value = std::string(s.UTF8Characters != nullptr ? s.UTF8Characters : "", s.UTF8Length);
            break;
        }
        case NPVariantType_Object:
            if (variant.value.objectValue == nullptr) break;
            value = {{"$object", handles.Adopt(variant.value.objectValue)}};
            VOID_TO_NPVARIANT(variant);  // the handle owns the reference now
            return value;
        default:
            value = {{"$void", true}};
            break;
    }
    Browser::ReleaseVariant(variant);
    return value;
}

}  // namespace JsonVariant
