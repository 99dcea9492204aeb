#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "npapi/npruntime.h"

class ObjectHandles;

// Values between the page's JSON and the plug-in's variants: null, booleans,
// numbers (integers in the int32 range as int32, other numbers as double),
// strings, {"$object": handle} for a plug-in object, {"$void": true} for
// undefined.
namespace JsonVariant {

// Fills `out` from `value`. A string points into `value`, which must outlive
// the call the variant is passed to; an object is the handle's own (not
// retained). Nothing in `out` needs releasing. False, with `error` set, for a
// value that cannot be passed (arrays, other objects, unknown handles).
bool ToVariant(const nlohmann::json& value, const ObjectHandles& handles, NPVariant& out, std::string& error);

// The JSON for a variant the plug-in handed over, which is consumed: its text
// is freed, its object reference goes to a new handle. Text that is not
// valid UTF-8 is kept as it is here (the answer's writer replaces it).
nlohmann::json FromVariant(NPVariant& variant, ObjectHandles& handles);

}  // namespace JsonVariant
