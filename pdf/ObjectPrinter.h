#pragma once

#include <cstdint>
#include <map>
#include <string>

struct fz_context;
struct pdf_obj;

namespace PDF {

// Prints MuPDF objects in the compact form the update is written in, byte for
// byte the same whatever the process locale:
//  - null "null", booleans "true"/"false", integers in decimal;
//  - reals as "%g" of the single-precision value, or "%1.1f" (magnitude above
//    1) / "%1.8f" where "%g" would give an exponent; or as the document wrote
//    them, where the caller knows that text;
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

    // The text a document wrote for real numbers, by the bits of the
    // single-precision value read from it (see RealKey). A real is kept as a
    // float: printed anew, a box of 841.91998 would come back as 841.92 and
    // move what readers that keep more digits draw.
    using RealTexts = std::map<std::uint32_t, std::string>;
    static std::uint32_t RealKey(float value);
    // Prints reals that `originals` knows in their original text.
    static std::string Print(fz_context* ctx, pdf_obj* obj, const RealTexts& originals);

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
