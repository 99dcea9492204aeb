#pragma once

#include <string>
#include <vector>

#include "support/TempDir.h"
#include "support/TestPKI.h"

namespace TestSupport {

// Signers, signatures and time-stamp tokens made by the openssl command, an
// independent producer, in a scratch folder. Failures raise
// std::runtime_error with the command's output.

// Issued by the shared PKI's Intermediate, with their files in `dir`: a
// time-stamping authority (extendedKeyUsage timeStamping, critical; the
// Signer's key) and a signer with a fresh EC key on `curve` ("P-384").
PKICert MakeTimeStampAuthority(const TempDir& dir);
PKICert MakeECSigner(const TempDir& dir, const std::string& curve);

// A detached CMS SignedData over `content` by `openssl cms -sign -binary`,
// DER; `options` are added to the command ("-md", "sha384", "-keyid", ...).
std::string CmsSign(const TempDir& dir, const std::string& content, const PKICert& signer,
                    const std::vector<std::string>& options = {});
// The judgement of `openssl cms -verify` on a detached message over
// `content`, the signer's chain checked against the shared PKI's root;
// `options` are added ("-cades").
bool CmsVerifies(const TempDir& dir, const std::string& content, const std::string& der,
                 const std::vector<std::string>& options = {});

// A time-stamp token over `content` by `openssl ts -query` and `-reply
// -token_out` with `tsa`, the imprint made with `digest` ("sha256", "md5").
std::string TimeStampToken(const TempDir& dir, const std::string& content, const PKICert& tsa,
                           const std::string& digest = "sha256");
// The same over the bytes of the file `path`.
std::string TimeStampTokenOfFile(const TempDir& dir, const std::string& path, const PKICert& tsa,
                                 const std::string& digest = "sha256");
// The judgement of `openssl ts -verify` on a token over `content`, the
// authority's chain checked against the shared PKI's root.
bool TimeStampVerifies(const TempDir& dir, const std::string& content, const std::string& token);
// The time a token states, as `openssl ts -reply -text` prints it, in
// seconds since 1970 UTC.
long TimeStampTime(const TempDir& dir, const std::string& token);

}  // namespace TestSupport
