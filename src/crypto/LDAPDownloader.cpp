#include "crypto/LDAPDownloader.h"

#include <ldap.h>
#include <sys/time.h>

#include <algorithm>
#include <boost/algorithm/string/case_conv.hpp>
#include <boost/thread/thread.hpp>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <memory>

#include "common/Logger.h"
#include "common/NetTimeouts.h"
#include "common/PemCrl.h"
#include "common/URLParser.h"
#include "crypto/CRLDownloader.h"

namespace Crypto {

namespace {

struct Unbind {
    void operator()(LDAP* ld) const noexcept { ldap_unbind_ext(ld, nullptr, nullptr); }
};
struct MsgFree {
    void operator()(LDAPMessage* message) const noexcept { ldap_msgfree(message); }
};
struct MemFree {
    void operator()(char* text) const noexcept { ldap_memfree(text); }
};
struct ValuesFree {
    void operator()(berval** values) const noexcept { ldap_value_free_len(values); }
};
using LDAPPtr = std::unique_ptr<LDAP, Unbind>;
using MessagePtr = std::unique_ptr<LDAPMessage, MsgFree>;
using AttributePtr = std::unique_ptr<char, MemFree>;
using ValuesPtr = std::unique_ptr<berval*, ValuesFree>;

// BerElement of an attribute walk; the attribute names are freed on their own.
class BerGuard {
public:
    BerGuard() = default;
    ~BerGuard() {
        if (_ber != nullptr) ber_free(_ber, 0);
    }
    BerGuard(const BerGuard&) = delete;
    BerGuard& operator=(const BerGuard&) = delete;
    BerElement** Out() { return &_ber; }

private:
    BerElement* _ber = nullptr;
};

void LogLine(const char* text) {
    Logger::Get()->SetFunc("Download");
    Logger::Get()->Log("%s", text);
}

// A host name or address that can be put into an ldap:// URI as it is. Other
// characters (blanks, '/', '?', NUL from an escape) would change what is
// connected to, so such hosts are refused.
bool UsableHost(const std::string& host) {
    if (host.empty()) return false;
    return std::all_of(host.begin(), host.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_' || c == ':';
    });
}

std::string ServerUri(const std::string& host, int port) {
    const bool ipv6 = host.find(':') != std::string::npos;
    return std::string("ldap://") + (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

// attributes?scope?filter?extensions: the scope in lower case, "base" when absent.
std::string ScopeText(const std::string& query) {
    const std::size_t first = query.find('?');
    if (first == std::string::npos) return "base";
    const std::size_t second = query.find('?', first + 1);
    const std::size_t length = second == std::string::npos ? std::string::npos : second - first - 1;
    return boost::algorithm::to_lower_copy(query.substr(first + 1, length));
}

int Scope(const std::string& text) {
    if (text == "sub") return LDAP_SCOPE_SUBTREE;
    if (text == "one") return LDAP_SCOPE_ONELEVEL;
    return LDAP_SCOPE_BASE;
}

}  // namespace

void ReportLDAPError(LDAP* /*ld*/, const char* text) {
    const int error = errno;
    Logger::Get()->SetFunc("ReportLDAPError");
    Logger::Get()->Log("%s,error [%d]", text, error);
}

bool LDAPDownloader::Download(const std::string& url, std::vector<unsigned char>& der) {
    Logger::Get()->SetFunc("Download");
    Logger::Get()->Log("Downloading LDAP CRL %s", url.c_str());

    std::string scheme, host, path, query;
    int port = 0;
    if (!URLParser::Parse(url, scheme, host, port, path, query, true)) {
        LogLine("LDAP URI parsing failed!\n");
        return false;
    }
    if (port == 0) port = kDefaultPort;
    const std::string baseDN = path.empty() ? path : path.substr(1);

    if (boost::algorithm::to_lower_copy(scheme) != "ldap") {
        LogLine("Not a ldap URL\n");
        return false;
    }
    // Without a host the client library would ask whatever server the
    // machine's configuration names; a NUL decoded into the base DN would cut it short.
    if (!UsableHost(host) || baseDN.find('\0') != std::string::npos) {
        LogLine("LDAP URI parsing failed!\n");
        return false;
    }

    Logger::Get()->SetFunc("Download");
    Logger::Get()->Log("Server: %s\nPort: %d\nPath: %s\nQuery: %s", host.c_str(), port, baseDN.c_str(),
                       query.c_str());
    const int scope = Scope(ScopeText(query));

    LDAP* raw = nullptr;
    const int initialized = ldap_initialize(&raw, ServerUri(host, port).c_str());
    const LDAPPtr ld(raw);
    if (initialized != LDAP_SUCCESS || !ld) {
        LogLine("ldap_init failed\n");
        return false;
    }
    const long long connectMs = NetTimeouts::Connect().count();
    const timeval connectTimeout{static_cast<time_t>(connectMs / 1000),
                                 static_cast<suseconds_t>(connectMs % 1000 * 1000)};
    ldap_set_option(ld.get(), LDAP_OPT_NETWORK_TIMEOUT, &connectTimeout);
    // A message larger than a revocation list may be is refused while it
    // arrives, before it fills the memory.
    Sockbuf* socket = nullptr;
    if (ldap_get_option(ld.get(), LDAP_OPT_SOCKBUF, &socket) == LDAP_OPT_SUCCESS && socket != nullptr) {
        ber_len_t maxIncoming = CRLDownloader::kMaxCRLSize + kMessageOverhead;
        ber_sockbuf_ctrl(socket, LBER_SB_OPT_SET_MAX_INCOMING, &maxIncoming);
    }
    // Referrals are not followed: they would lead the anonymous search to
    // servers the URL does not name, in calls that cannot be interrupted.
    ldap_set_option(ld.get(), LDAP_OPT_REFERRALS, LDAP_OPT_OFF);

    boost::this_thread::interruption_point();

    char attributeName[] = "certificateRevocationList";
    char* attributes[] = {attributeName, nullptr};
    int messageId = 0;
    if (ldap_search_ext(ld.get(), baseDN.c_str(), scope, nullptr, attributes, 0, nullptr, nullptr, nullptr, 0,
                        &messageId) != LDAP_SUCCESS) {
        ReportLDAPError(ld.get(), "ldap_search failed on initialization");
        return false;
    }

    // The answer must come within the stall time of the request.
    const auto deadline = std::chrono::steady_clock::now() + NetTimeouts::Stall();
    MessagePtr result;
    for (;;) {
        timeval wait{0, kWaitMicroseconds};
        LDAPMessage* message = nullptr;
        const int rc = ldap_result(ld.get(), messageId, LDAP_MSG_ALL, &wait, &message);
        result.reset(message);
        if (rc == -1) {
            ReportLDAPError(ld.get(), "ldap_search error while waiting");
            return false;
        }
        if (rc != 0) break;
        boost::this_thread::interruption_point();
        if (std::chrono::steady_clock::now() >= deadline) {
            LogLine("ldap_search timed out");
            return false;
        }
    }

    LDAPMessage* const entry = ldap_first_entry(ld.get(), result.get());
    if (entry == nullptr) {
        LogLine("ldap_first_entry failed");
        return false;
    }
    BerGuard ber;
    const AttributePtr attribute(ldap_first_attribute(ld.get(), entry, ber.Out()));
    if (!attribute) {
        LogLine("ldap_first_attribute failed");
        return false;
    }
    const ValuesPtr values(ldap_get_values_len(ld.get(), entry, attribute.get()));
    if (!values) {
        LogLine("ldap_get_values_len failed");
        return false;
    }
    if (ldap_count_values_len(values.get()) != 1) return false;

    const berval* const value = values.get()[0];
    const auto* bytes = reinterpret_cast<const unsigned char*>(value->bv_val);
    const std::size_t length = value->bv_len;
    if (length > CRLDownloader::kMaxCRLSize) {
        LogLine("LDAP CRL too large");
        return false;
    }
    if (Util::IsPemCrl(bytes, length)) {
        LogLine("PEM CRL downloaded with LDAP, decoding...");
        der = Util::DecodePemCrl(bytes, length);
    } else {
        der.assign(bytes, bytes + length);
    }
    return true;
}

}  // namespace Crypto
