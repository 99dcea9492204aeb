#pragma once

#include <string>

struct fz_context;
struct pdf_obj;

namespace PDF {

// Prints MuPDF objects in the compact form the update is written in, byte for
// byte the same whatever the process locale:
//  - null "null", booleans "true"/"false", integers in decimal;
//  - reals as "%g" of the single-precision value, or "%1.1f" (magnitude above
//    1) / "%1.8f" where "%g" would give an exponent;
//  - names with delimiters, white space, '#' and bytes outside 33..126 as #XX;
//  - strings in literal or hexadecimal form, whichever the escape count picks;
//  - arrays and dictionaries (in the dictionary's own order) with one space
//    between two tokens only where neither side is a delimiter;
//  - indirect references as "num gen R".
// No line breaks and no other white space are written.
class ObjectPrinter {
public:
    // A null pointer is MuPDF's null object and prints as "null".
    static std::string Print(fz_context* ctx, pdf_obj* obj);

    static std::string FormatReal(float value);
    // "/" and the escaped name.
    static std::string FormatName(const std::string& name);
    // Literal "(...)" or hexadecimal "<...>" form.
    static std::string FormatString(const std::string& bytes);
    // Whether the hexadecimal form is chosen for these bytes.
    static bool PrefersHex(const std::string& bytes);

    // ( ) < > [ ] { } / %
    static bool IsDelimiter(char c);
};

}  // namespace PDF
