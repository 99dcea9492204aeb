#pragma once

// Shared by the fuzz targets: a private scratch folder (also the temporary
// folder and an empty keychain, so that nothing of the machine is read or
// written), input written to a file, and a check that stops the run.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace Fuzz {

// A broken property: reported and turned into a crash for libFuzzer.
[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

// The scratch folder of this process, made on first use. Sets TMPDIR (the
// working files go there), an empty keychain and no windows and no token
// modules, before any code of the engine reads them.
inline const std::string& Scratch() {
    static const std::string folder = [] {
        char name[] = "/tmp/pendrel-fuzz-XXXXXX";
        if (::mkdtemp(name) == nullptr) Fail("mkdtemp", __FILE__, __LINE__);
        const std::string made = name;
        const std::string keychain = made + "/keychain";
        ::mkdir(keychain.c_str(), 0700);
        ::setenv("TMPDIR", (made + "/").c_str(), 1);
        ::setenv("PENDREL_KEYCHAIN", keychain.c_str(), 1);
        ::setenv("PENDREL_DIALOGS", "none", 1);
        ::setenv("PENDREL_PKCS11_MODULES", "", 1);
        // No system trust anchors: reading hundreds of them for every
        // validation would leave no time for fuzzing.
        ::setenv("SSL_CERT_FILE", (made + "/no-anchors.pem").c_str(), 1);
        ::setenv("SSL_CERT_DIR", (made + "/no-anchors").c_str(), 1);
        return made;
    }();
    return folder;
}

// Writes the input into `name` of the scratch folder and answers its path.
inline std::string WriteInput(const std::uint8_t* data, std::size_t size, const std::string& name) {
    const std::string path = Scratch() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) Fail("the input could not be written", __FILE__, __LINE__);
    return path;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace Fuzz

#define FUZZ_CHECK(condition)                                           \
    do {                                                                \
        if (!(condition)) ::Fuzz::Fail(#condition, __FILE__, __LINE__); \
    } while (0)
