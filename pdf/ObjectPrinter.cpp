#include "pdf/ObjectPrinter.h"

#include <mupdf/fitz.h>
#include <mupdf/pdf.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace PDF {

namespace {

const char kHex[] = "0123456789ABCDEF";

// std::to_chars formats as printf does in the "C" locale, whatever the
// process locale says.
std::string Fixed(double value, int precision) {
    char text[400];
    const auto done = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, precision);
    return done.ec == std::errc() ? std::string(text, done.ptr) : std::string("0");
}

std::string General(double value) {
    char text[64];
    const auto done = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
    return done.ec == std::errc() ? std::string(text, done.ptr) : std::string("0");
}

std::string Integer(int64_t value) {
    char text[32];
    const auto done = std::to_chars(text, text + sizeof text, value);
    return std::string(text, done.ptr);
}

bool NeedsNameEscape(unsigned char c) {
    return c < 33 || c > 126 || c == '#' || ObjectPrinter::IsDelimiter(static_cast<char>(c));
}

class Writer {
public:
    Writer(fz_context* ctx, const ObjectPrinter::RealTexts* originals) : _ctx(ctx), _originals(originals) {}

    void Object(pdf_obj* obj) {
        if (obj == nullptr) {
            Token("null");
        } else if (pdf_is_indirect(_ctx, obj)) {  // before any test that would resolve it
            Token(Integer(pdf_to_num(_ctx, obj)) + " " + Integer(pdf_to_gen(_ctx, obj)) + " R");
        } else if (pdf_is_null(_ctx, obj)) {
            Token("null");
        } else if (pdf_is_bool(_ctx, obj)) {
            Token(pdf_to_bool(_ctx, obj) ? "true" : "false");
        } else if (pdf_is_int(_ctx, obj)) {
            Token(Integer(pdf_to_int64(_ctx, obj)));
        } else if (pdf_is_real(_ctx, obj)) {
            const float value = pdf_to_real(_ctx, obj);
            const auto original = _originals != nullptr ? _originals->find(ObjectPrinter::RealKey(value))
                                                        : ObjectPrinter::RealTexts::const_iterator();
            Token(_originals != nullptr && original != _originals->end() ? original->second
                                                                         : ObjectPrinter::FormatReal(value));
        } else if (pdf_is_name(_ctx, obj)) {
            Token(ObjectPrinter::FormatName(pdf_to_name(_ctx, obj)));
        } else if (pdf_is_string(_ctx, obj)) {
            size_t length = 0;
            const char* bytes = pdf_to_string(_ctx, obj, &length);
            Token(ObjectPrinter::FormatString(std::string(bytes, length)));
        } else if (pdf_is_array(_ctx, obj)) {
            Token("[");
            const int n = pdf_array_len(_ctx, obj);
            for (int i = 0; i < n; ++i) Object(pdf_array_get(_ctx, obj, i));
            Token("]");
        } else if (pdf_is_dict(_ctx, obj)) {
            Token("<<");
            const int n = pdf_dict_len(_ctx, obj);
            for (int i = 0; i < n; ++i) {
                Object(pdf_dict_get_key(_ctx, obj, i));
                Object(pdf_dict_get_val(_ctx, obj, i));
            }
            Token(">>");
        } else {
            Token("null");
        }
    }

    const std::string& Text() const { return _out; }

private:
    // One space between two tokens unless either side is a delimiter. The
    // empty name "/" ends in one but goes on into what follows ("/" "null"
    // would read back as the name "null").
    void Token(const std::string& token) {
        if (token.empty()) return;
        const bool afterDelimiter =
            !_out.empty() && ObjectPrinter::IsDelimiter(_out.back()) && _out.back() != '/';
        if (!_out.empty() && !afterDelimiter && !ObjectPrinter::IsDelimiter(token[0])) _out.push_back(' ');
        _out += token;
    }

    fz_context* const _ctx;
    const ObjectPrinter::RealTexts* const _originals;
    std::string _out;
};

}  // namespace

bool ObjectPrinter::IsDelimiter(char c) {
    return c != '\0' && std::strchr("()<>[]{}/%", c) != nullptr;
}

std::string ObjectPrinter::FormatReal(float value) {
    const double v = value;
    const std::string general = General(v);
    if (general.find('e') == std::string::npos) return general;
    return std::fabs(v) > 1.0 ? Fixed(v, 1) : Fixed(v, 8);
}

std::string ObjectPrinter::FormatName(const std::string& name) {
    std::string out = "/";
    for (const char ch : name) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (NeedsNameEscape(c)) {
            out.push_back('#');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

bool ObjectPrinter::PrefersHex(const std::string& bytes) {
    size_t count = 0;
    for (const char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '(' || c == ')' || c == '\\' || c == '\n' || c == '\r' || c == '\t' || c == '\b' ||
            c == '\f' || c < 8)
            count += 1;
        else if (c < 32)
            count += 2;
        else if (c >= 127)
            count += 3;
    }
    return count >= bytes.size();
}

std::string ObjectPrinter::FormatString(const std::string& bytes) {
    std::string out;
    if (PrefersHex(bytes)) {
        out.reserve(bytes.size() * 2 + 2);
        out.push_back('<');
        for (const char ch : bytes) {
            const unsigned char c = static_cast<unsigned char>(ch);
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 0x0F]);
        }
        out.push_back('>');
        return out;
    }
    out.push_back('(');
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
            case '(':
                out += "\\(";
                break;
            case ')':
                out += "\\)";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (c >= 32 && c <= 126) {
                    out.push_back(static_cast<char>(c));
                } else {
                    // Octal without leading zeros, except before an octal digit:
                    // a reader takes up to three digits, so "\0" then "1" would
                    // read back as the single byte 1.
                    const bool digitFollows =
                        i + 1 < bytes.size() && bytes[i + 1] >= '0' && bytes[i + 1] <= '7';
                    char text[8];
                    const int digits = c >= 64 ? 3 : (c >= 8 ? 2 : 1);
                    int n = digitFollows ? 3 : digits;
                    text[n] = '\0';
                    unsigned v = c;
                    while (n-- > 0) {
                        text[n] = static_cast<char>('0' + (v & 7));
                        v >>= 3;
                    }
                    out.push_back('\\');
                    out += text;
                }
        }
    }
    out.push_back(')');
    return out;
}

std::string ObjectPrinter::Print(fz_context* ctx, pdf_obj* obj) {
    Writer writer(ctx, nullptr);
    writer.Object(obj);
    return writer.Text();
}

std::string ObjectPrinter::Print(fz_context* ctx, pdf_obj* obj, const RealTexts& originals) {
    Writer writer(ctx, &originals);
    writer.Object(obj);
    return writer.Text();
}

std::uint32_t ObjectPrinter::RealKey(float value) {
    std::uint32_t bits = 0;
    static_assert(sizeof bits == sizeof value, "a float is 32 bits");
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

}  // namespace PDF
