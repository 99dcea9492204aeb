// pendrel-keychain: lists what the key store sees (keychain folder and
// tokens), so that a user can tell why a certificate is or is not offered.
// usage: pendrel-keychain [FOLDER]   (default: the keychain folder in use)

#include <ctime>
#include <exception>
#include <iostream>

#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/KeychainListing.h"

int main(int argc, char** argv) {
    if (argc > 2 || (argc == 2 && argv[1][0] == '-')) {
        std::cerr << "usage: pendrel keychain [FOLDER]\n";
        return 2;
    }
    try {
        const std::string folder = argc == 2 ? argv[1] : Crypto::CertStoreFile::KeychainFolder();
        Crypto::KeychainListing(folder).Write(std::cout, std::time(nullptr));
        std::cout.flush();
        return std::cout ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "pendrel keychain: " << e.what() << "\n";
        return 1;
    }
}
