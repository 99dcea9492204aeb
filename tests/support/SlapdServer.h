#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace TestSupport {

class ChildProcess;

// Debian's OpenLDAP server on 127.0.0.1 and a free port, with a temporary
// configuration and database, for revocation lists served by directory.
// The tree hangs under the entry kSuffix (which holds no list); every entry
// is a cRLDistributionPoint whose certificateRevocationList;binary holds the
// given values, stored as they are (DER, PEM text or anything else).
class SlapdServer {
public:
    struct Entry {
        std::string dn;  // e.g. "cn=der,cn=crls"; parents come first
        std::vector<std::string> values;
    };

    explicit SlapdServer(const std::vector<Entry>& entries);
    ~SlapdServer();
    SlapdServer(const SlapdServer&) = delete;
    SlapdServer& operator=(const SlapdServer&) = delete;

    int Port() const { return _port; }
    // "ldap://127.0.0.1:<port>/" followed by rest (base DN and query).
    std::string Url(const std::string& rest) const;

    static bool Available();
    static constexpr const char* kSuffix = "cn=crls";

private:
    TempDir _dir;
    int _port = 0;
    std::unique_ptr<ChildProcess> _process;
};

}  // namespace TestSupport
