#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

namespace Crypto {

// Compares distinguished names as sets of normalised "type=value"
// assertions, so that attribute order, separators, the case and spacing of
// attribute names and short names against their "OID." forms do not matter.
class DNCompare {
public:
    using NameSet = std::set<std::string>;

    // The process-wide instance, created on first use.
    static DNCompare* Instance();
    // Destroys it; the next Instance() makes a new one.
    static void Release();

    // True when s holds one of "=,;\r\n+", i.e. it is not a plain display name.
    static bool IsDN(const std::string& s);
    void BuildSet(const std::string& dn, NameSet& out) const;
    // subset false: equal sets; subset true: every element of a is in b.
    static bool CompareSets(const NameSet& a, const NameSet& b, bool subset);
    bool CompareDNs(const std::string& a, const std::string& b, bool subset) const;
    // The organizational unit, else organization, common name or e-mail
    // address of dn; dn itself when it has none of them.
    std::string GetIssuer(const std::string& dn) const;

    static void RemoveLeading(std::string& s);
    static void RemoveTrailing(std::string& s);
    static void ToUpper(std::string& s);

    DNCompare(const DNCompare&) = delete;
    DNCompare& operator=(const DNCompare&) = delete;

private:
    DNCompare();

    std::map<std::string, std::string> _names;  // upper-case short name -> "OID." form
    static std::unique_ptr<DNCompare> _instance;
};

}  // namespace Crypto
