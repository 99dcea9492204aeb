// PEM revocation lists: any bytes are recognised or not without a crash, and
// DER bytes in PEM armour (any line length, LF or CRLF) come back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Base64Stream.h"
#include "common/PemCrl.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (Util::IsPemCrl(data, size)) {
        const std::vector<unsigned char> der = Util::DecodePemCrl(data, size);
        FUZZ_CHECK(der.size() <= size);
    }

    // The input as the body of a list in armour.
    if (size == 0) return 0;
    const bool crlf = (data[0] & 1) != 0;
    const std::uint8_t* const body = data + 1;
    const std::size_t length = size - 1;
    std::string text;
    Util::Base64Encoder encoder;
    encoder.Encode(body, length, text);
    encoder.Finish(text);
    if (crlf) {
        std::string withCr;
        for (const char c : text) withCr += c == '\n' ? std::string("\r\n") : std::string(1, c);
        text = withCr;
    }
    const std::string eol = crlf ? "\r\n" : "\n";
    const std::string pem = "-----BEGIN X509 CRL-----" + eol + text + "-----END X509 CRL-----" + eol;
    const auto* const bytes = reinterpret_cast<const unsigned char*>(pem.data());
    FUZZ_CHECK(Util::IsPemCrl(bytes, pem.size()));
    FUZZ_CHECK(Util::DecodePemCrl(bytes, pem.size()) == std::vector<unsigned char>(body, body + length));
    return 0;
}
