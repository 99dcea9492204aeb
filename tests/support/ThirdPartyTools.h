#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace TestSupport {

// Occurrences of `what` in `text`.
std::size_t CountOf(const std::string& text, const std::string& what);

// Every independent verifier accepts the signed file at `path`: pdfsig (with
// the NSS database `nssDb`) finds `signatures` valid signatures, a trusted
// signer and the last one covering the whole document; qpdf --check finds no
// error; mutool sign -v finds the document unchanged since signing.
void ExpectAcceptedByOthers(const std::string& path, const std::string& nssDb, std::size_t signatures);

// The encryption methods qpdf offers, as the key-length arguments of its
// --encrypt: RC4 of 40 and 128 bits, AES of 128 and 256 bits.
struct Encryption {
    const char* name;
    std::vector<std::string> keyArguments;
};
const std::vector<Encryption>& Encryptions();

// `in` encrypted by qpdf into `out` with an empty user password; the exit
// status of qpdf.
int Encrypt(const std::string& in, const std::string& out, const Encryption& how);

}  // namespace TestSupport
