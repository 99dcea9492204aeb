#pragma once

#include <string>

#include "npapi/npruntime.h"

// Conversions between the browser's identifiers and variants and our text
// and numbers. Names come out in upper case, so that look-ups ignore case.
namespace NPUtils {

// Upper case with the default locale's rules, byte by byte.
std::string ToUpper(const std::string& text);

// The identifier's name in upper case; an integer identifier gives empty text.
void NPIdentifierToString(NPIdentifier id, std::string& out);

// The bytes of a string variant; any other variant (or none) gives empty text.
void VariantToString(const NPVariant* v, std::string& out);
// A string variant holding a copy of s in browser memory (freed by the browser).
// False, with a void variant, when the browser gives no memory.
bool StringToVariant(const std::string& s, NPVariant* v);

// UTF-8 string variant to wide text (UTF-16 code units); throws the UTF
// decoder's exception on malformed text.
void VariantToWString(const NPVariant* v, std::wstring& out);
// Wide text as a UTF-8 string variant; throws on an unpaired surrogate.
bool WStringToVariant(const std::wstring& s, NPVariant* v);

// An int32 variant as is, a double truncated toward zero: true. Any other
// type, and a double that is not a number or lies outside the int range:
// out = 0 and false.
bool VariantToInt(const NPVariant* v, int& out);
// A bool variant: its value and true; anything else: out = false and false.
bool VariantToBool(const NPVariant* v, bool& out);

bool IsString(const NPVariant* v);
bool IsNumber(const NPVariant* v);
// An object variant taking over one reference the caller holds; a null
// object gives a null variant.
void ObjectToVariant(NPObject* object, NPVariant* v);

// An object variant whose object has the given class.
bool IsObjectOfClass(const NPVariant* v, const NPClass* cls);

}  // namespace NPUtils
