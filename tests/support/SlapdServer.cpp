#include "support/SlapdServer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "support/ChildProcess.h"
#include "support/Loopback.h"
#include "support/TestCrl.h"

namespace TestSupport {

namespace {

const char kSlapd[] = "/usr/sbin/slapd";
const char kSlapadd[] = "/usr/sbin/slapadd";
const char kModulePath[] = "/usr/lib/ldap";
const int kStartAttempts = 5;

// Only what the entries need. The list attribute keeps its standard OID and
// the binary transfer the directory clients ask for, but its values are not
// checked, so that the tests can store PEM text and broken lists as well.
const char kSchema[] =
    "attributetype ( 2.5.4.39 NAME 'certificateRevocationList' "
    "SYNTAX 1.3.6.1.4.1.1466.115.121.1.9 )\n"
    "objectclass ( 2.5.6.19 NAME 'cRLDistributionPoint' SUP top STRUCTURAL "
    "MUST cn MAY certificateRevocationList )\n";

// The value of the first RDN of dn ("cn=a,cn=b" -> "a").
std::string FirstRdnValue(const std::string& dn) {
    const std::size_t equals = dn.find('=');
    const std::size_t comma = dn.find(',');
    if (equals == std::string::npos) return dn;
    return dn.substr(equals + 1, comma == std::string::npos ? std::string::npos : comma - equals - 1);
}

std::string Ldif(const std::vector<SlapdServer::Entry>& entries) {
    std::string ldif = std::string("dn: ") + SlapdServer::kSuffix +
                       "\nobjectClass: cRLDistributionPoint\ncn: " + FirstRdnValue(SlapdServer::kSuffix) +
                       "\n\n";
    for (const SlapdServer::Entry& entry : entries) {
        ldif +=
            "dn: " + entry.dn + "\nobjectClass: cRLDistributionPoint\ncn: " + FirstRdnValue(entry.dn) + "\n";
        for (const std::string& value : entry.values)
            ldif += "certificateRevocationList;binary:: " + Base64(value) + "\n";
        ldif += "\n";
    }
    return ldif;
}

// slapd reports its start a moment before its listener takes connections:
// try until it does, waiting on the process between tries, up to a deadline.
bool Accepts(ChildProcess& process, int port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!LoopbackAccepts(port)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (process.WaitForExit(std::chrono::milliseconds(10))) return false;
    }
    return true;
}

}  // namespace

bool SlapdServer::Available() {
    return ::access(kSlapd, X_OK) == 0 && ::access(kSlapadd, X_OK) == 0;
}

SlapdServer::SlapdServer(const std::vector<Entry>& entries) {
    const std::string config = _dir.File("slapd.conf");
    const std::string database = _dir.File("db");
    if (::mkdir(database.c_str(), 0700) != 0) throw std::runtime_error("cannot create " + database);
    WriteFile(_dir.File("test.schema"), kSchema);
    WriteFile(config, "include " + _dir.File("test.schema") + "\nmodulepath " + kModulePath +
                          "\nmoduleload back_mdb\npidfile " + _dir.File("slapd.pid") +
                          "\ndatabase mdb\nsuffix \"" + kSuffix + "\"\ndirectory " + database +
                          "\nmaxsize 10485760\n");
    WriteFile(_dir.File("data.ldif"), Ldif(entries));

    std::string output;
    if (RunCommand({kSlapadd, "-f", config, "-l", _dir.File("data.ldif")}, &output) != 0)
        throw std::runtime_error("slapadd failed: " + output);

    // The port is free when chosen but may be taken before slapd binds it:
    // then slapd ends at once and another port is tried.
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        const int port = FreeLoopbackPort();
        const std::string listen = "ldap://127.0.0.1:" + std::to_string(port) + "/";
        // Debug level "none" still prints the start and stop lines, which tell when it listens.
        auto process = std::make_unique<ChildProcess>(
            std::vector<std::string>{kSlapd, "-f", config, "-h", listen, "-d", "32768"});
        if (process->WaitForOutput("slapd starting", std::chrono::seconds(20)) && Accepts(*process, port)) {
            _port = port;
            _process = std::move(process);
            return;
        }
        output = process->Output();
    }
    throw std::runtime_error("slapd did not start: " + output);
}

SlapdServer::~SlapdServer() = default;

std::string SlapdServer::Url(const std::string& rest) const {
    return "ldap://127.0.0.1:" + std::to_string(_port) + "/" + rest;
}

}  // namespace TestSupport
