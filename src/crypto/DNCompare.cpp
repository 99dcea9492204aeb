#include "crypto/DNCompare.h"

#include <cctype>
#include <vector>

namespace Crypto {

std::unique_ptr<DNCompare> DNCompare::_instance;

namespace {

const char kComponentSeparators[] = ",;\r\n+";

// Pieces of s between separator characters, empty pieces dropped.
std::vector<std::string> Split(const std::string& s, const char* separators) {
    std::vector<std::string> pieces;
    std::string::size_type start = 0;
    while (start <= s.size()) {
        const std::string::size_type end = s.find_first_of(separators, start);
        const std::string piece = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!piece.empty()) pieces.push_back(piece);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return pieces;
}

}  // namespace

DNCompare::DNCompare() {
    static const char* const kTable[][2] = {
        {"CN", "OID.2.5.4.3"},
        {"L", "OID.2.5.4.7"},
        {"O", "OID.2.5.4.10"},
        {"OU", "OID.2.5.4.11"},
        {"E", "OID.1.2.840.113549.1.9.1"},
        {"C", "OID.2.5.4.6"},
        {"S", "OID.2.5.4.8"},
        {"ST", "OID.2.5.4.8"},
        {"STREET", "OID.2.5.4.9"},
        {"T", "OID.2.5.4.12"},
        {"G", "OID.2.5.4.42"},
        {"I", "OID.2.5.4.43"},
        {"SN", "OID.2.5.4.4"},
        {"DC", "OID.0.9.2342.19200300.100.1.25"},
        {"SERIALNUMBER", "OID.2.5.4.5"},
    };
    for (const auto& entry : kTable) _names.emplace(entry[0], entry[1]);  // the first entry of a name counts
}

DNCompare* DNCompare::Instance() {
    if (!_instance) _instance.reset(new DNCompare());
    return _instance.get();
}

void DNCompare::Release() {
    _instance.reset();
}

bool DNCompare::IsDN(const std::string& s) {
    return s.find_first_of("=,;\r\n+") != std::string::npos;
}

void DNCompare::BuildSet(const std::string& dn, NameSet& out) const {
    for (const std::string& component : Split(dn, kComponentSeparators)) {
        const std::vector<std::string> parts = Split(component, "=");
        if (parts.size() < 2) continue;
        std::string type = parts[0];
        RemoveLeading(type);
        RemoveTrailing(type);
        ToUpper(type);
        const auto known = _names.find(type);
        if (known != _names.end()) type = known->second;
        std::string value = parts[1];
        RemoveLeading(value);
        RemoveTrailing(value);
        out.insert(type + "=" + value);
    }
}

bool DNCompare::CompareSets(const NameSet& a, const NameSet& b, bool subset) {
    if (!subset) return a == b;
    for (const std::string& element : a) {
        if (b.count(element) == 0) return false;
    }
    return true;
}

bool DNCompare::CompareDNs(const std::string& a, const std::string& b, bool subset) const {
    NameSet setA;
    NameSet setB;
    BuildSet(a, setA);
    BuildSet(b, setB);
    return CompareSets(setA, setB, subset);
}

std::string DNCompare::GetIssuer(const std::string& dn) const {
    NameSet names;
    BuildSet(dn, names);
    static const char* const kPreference[] = {
        "OID.2.5.4.11=", "OID.2.5.4.10=", "OID.2.5.4.3=", "OID.1.2.840.113549.1.9.1="};
    for (const char* prefix : kPreference) {
        const std::string p(prefix);
        for (const std::string& element : names) {
            if (element.compare(0, p.size(), p) == 0) return element.substr(p.size());
        }
    }
    return dn;
}

void DNCompare::RemoveLeading(std::string& s) {
    const std::string::size_type first = s.find_first_not_of(' ');
    if (first == std::string::npos) return;  // only spaces: left as it is
    s.erase(0, first);
}

void DNCompare::RemoveTrailing(std::string& s) {
    const std::string::size_type last = s.find_last_not_of(' ');
    s.erase(last == std::string::npos ? 0 : last + 1);
}

void DNCompare::ToUpper(std::string& s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

}  // namespace Crypto
