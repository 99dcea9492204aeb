#pragma once

#include <string>

namespace TestSupport {

class TempDir;

// An empty revocation list of a throwaway CA, made by the openssl command in
// dir: the same list as DER bytes and as PEM text.
struct TestCrl {
    std::string der;
    std::string pem;
};
TestCrl MakeTestCrl(const TempDir& dir);

// Standard Base64 in one line (LDIF values, expected decodings).
std::string Base64(const std::string& bytes);

}  // namespace TestSupport
