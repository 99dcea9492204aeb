#pragma once

#include <string>

#include "support/TempDir.h"

namespace TestSupport {

// An NSS database in `dir` that trusts the shared test PKI's root (and knows
// its intermediate), for pdfsig. Answers the "sql:" path to pass as -nssdir.
std::string MakeNssDb(const TempDir& dir);

// An NSS database in `dir` holding the identity of `p12` (without
// passphrase), with the shared root trusted, for signing with pdfsig.
std::string MakeSigningNssDb(const TempDir& dir, const std::string& p12);

}  // namespace TestSupport
