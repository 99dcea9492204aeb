// Text strings from documents and the UTF conversions: decoding never throws
// and always gives text that converts to UTF-8; encoding valid UTF-8 and
// decoding it again gives it back.
#include <utf8.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/Util.h"
#include "fuzz/FuzzSupport.h"
#include "pdf/TextString.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::wstring wide = PDF::TextString::Decode(bytes);
    const std::string utf8 = PDF::TextString::DecodeToUtf8(bytes);
    FUZZ_CHECK(utf8::is_valid(utf8.begin(), utf8.end()));
    FUZZ_CHECK(Util::WtoA(wide) == utf8);  // must not throw: no broken surrogate left

    // Valid UTF-8 round-trips through a text string.
    if (utf8::is_valid(bytes.begin(), bytes.end())) {
        const std::string encoded = PDF::TextString::Encode(bytes);
        // PDFDocEncoding ends at a NUL: compare up to it.
        const std::string expected = bytes.substr(0, bytes.find('\0'));
        const std::string decoded = PDF::TextString::DecodeToUtf8(encoded);
        FUZZ_CHECK(decoded == expected || decoded == bytes);
        const std::wstring back = Util::AtoW(bytes);
        FUZZ_CHECK(Util::WtoA(back) == bytes);
    } else {
        // Broken UTF-8 is encoded with replacement characters, never refused.
        const std::string encoded = PDF::TextString::Encode(bytes);
        const std::string decoded = PDF::TextString::DecodeToUtf8(encoded);
        FUZZ_CHECK(utf8::is_valid(decoded.begin(), decoded.end()));
    }

    // Narrow and wide without UTF-8 keep one byte per element.
    FUZZ_CHECK(Util::AtoW(bytes, false).size() == bytes.size());
    FUZZ_CHECK(Util::WtoA(Util::AtoW(bytes, false), false) == bytes);
    return 0;
}
