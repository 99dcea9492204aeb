#pragma once

#include <cstddef>
#include <vector>

// PEM armour of revocation lists fetched by URL or from a directory.
namespace Util {

// True when data begins with the line "-----BEGIN X509 CRL-----" (LF or CRLF).
bool IsPemCrl(const unsigned char* data, std::size_t size);

// The DER bytes of a PEM revocation list: the Base64 text between the begin
// line and the "-----END X509 CRL-----" line (or, without an end line, all
// but the last 24 bytes). Text too short to hold anything decodes to nothing.
std::vector<unsigned char> DecodePemCrl(const unsigned char* data, std::size_t size);

}  // namespace Util
