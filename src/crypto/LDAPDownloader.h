#pragma once

#include <string>
#include <vector>

struct ldap;  // the OpenLDAP connection handle (LDAP)

namespace Crypto {

// Fetches a revocation list from a directory named by an ldap:// URL
// (ldap://host[:port]/baseDN[?attributes?scope?...]), anonymously.
class LDAPDownloader {
public:
    // Reads the certificateRevocationList attribute of the entry the URL
    // names. True when it holds exactly one value; der then holds that value,
    // a PEM value converted to DER. Every failure gives false and one log
    // line. Waits for the server in steps of kWaitMicroseconds and checks for
    // thread interruption after each, which is how a cancelled download ends.
    // The connect is bounded by the connect time and the wait for the answer
    // by the stall time (NetTimeouts); a value larger than a revocation list
    // may be is refused.
    static bool Download(const std::string& url, std::vector<unsigned char>& der);

    static constexpr int kDefaultPort = 389;
    static constexpr long kWaitMicroseconds = 50000;
    // Room for the rest of the answer (entry name, attribute name, lengths)
    // around the largest revocation list.
    static constexpr unsigned long kMessageOverhead = 65536;
};

// Logs "<text>,error [<errno>]".
void ReportLDAPError(struct ldap* ld, const char* text);

}  // namespace Crypto
