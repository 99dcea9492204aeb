#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "crypto/openssl/CRLCache.h"
#include "support/TempDir.h"
#include "support/TestIssuer.h"
#include "support/TestPKI.h"

namespace {

namespace fs = std::filesystem;
using Crypto::CRLCache;
using TestSupport::CrlRequest;
using TestSupport::TempDir;
using TestSupport::TestPKI;

const TestPKI& PKI() {
    return TestPKI::Shared();
}

Crypto::X509Ptr Cert(TestPKI::Id id) {
    const Crypto::BIOPtr in(BIO_new_file(PKI().Get(id).certPem.c_str(), "r"));
    return Crypto::X509Ptr(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
}

std::string Der(const X509_CRL* crl) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509_CRL(const_cast<X509_CRL*>(crl), &bytes);
    const Crypto::OpenSSLStringPtr owner(reinterpret_cast<char*>(bytes));
    return length > 0 ? std::string(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(length))
                      : std::string();
}

Crypto::X509CRLPtr Decode(const std::string& der) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    return Crypto::X509CRLPtr(d2i_X509_CRL(nullptr, &p, static_cast<long>(der.size())));
}

std::string Pem(const std::string& der) {
    const Crypto::X509CRLPtr crl = Decode(der);
    const Crypto::BIOPtr out(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509_CRL(out.get(), crl.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(CRLCache, LookupFindsOnlyACurrentListOfTheIssuerSignedByIt) {
    const std::time_t now = std::time(nullptr);
    const auto list = [&](long thisOffset, std::optional<long> nextOffset,
                          TestPKI::Id name = TestPKI::Intermediate,
                          TestPKI::Id signer = TestPKI::Intermediate) {
        CrlRequest request;
        request.issuerName = name;
        request.signer = signer;
        request.thisUpdate = now + thisOffset;
        if (nextOffset) request.nextUpdate = now + *nextOffset;
        return TestSupport::IssueCRL(PKI(), request);
    };
    const std::string current = list(-3600, 3600);
    const struct {
        const char* what;
        std::string bytes;
        bool found;
    } cases[] = {
        {"current, DER", current, true},
        {"current, PEM", Pem(current), true},
        {"thisUpdate one second ago", list(-1, 3600), true},
        {"nextUpdate in one second", list(-3600, 1), true},
        {"thisUpdate is now", list(0, 3600), false},
        {"nextUpdate is now", list(-3600, 0), false},
        {"not valid yet", list(60, 3600), false},
        {"nextUpdate passed", list(-7200, -60), false},
        {"no nextUpdate", list(-3600, std::nullopt), false},
        {"another issuer's list", list(-3600, 3600, TestPKI::Root, TestPKI::Root), false},
        {"signed by another key", list(-3600, 3600, TestPKI::Intermediate, TestPKI::OtherRoot), false},
        {"garbage", "not a revocation list", false},
        {"truncated", current.substr(0, current.size() / 2), false},
    };
    const Crypto::X509Ptr issuer = Cert(TestPKI::Intermediate);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir keychain;
        fs::create_directories(keychain.File("crls"));
        TestSupport::WriteFile(keychain.File("crls/placed-by-hand.crl"), c.bytes);
        const CRLCache cache(keychain.Path());
        const Crypto::X509CRLPtr crl =
            cache.Lookup(X509_get_subject_name(issuer.get()), now, {X509_get0_pubkey(issuer.get())});
        ASSERT_EQ(crl != nullptr, c.found);
        if (c.found) {
            EXPECT_EQ(Der(crl.get()), Der(Decode(c.bytes.find("-----BEGIN") == 0 ? current : c.bytes).get()));
        }
    }
}

TEST(CRLCache, LookupWithoutFolderOrKeyFindsNothing) {
    const TempDir keychain;
    const CRLCache cache(keychain.Path());
    const Crypto::X509Ptr issuer = Cert(TestPKI::Intermediate);
    EXPECT_EQ(cache.Lookup(X509_get_subject_name(issuer.get()), std::time(nullptr),
                           {X509_get0_pubkey(issuer.get())}),
              nullptr);
    fs::create_directories(keychain.File("crls"));
    fs::copy_file(PKI().EmptyCRLDer(), keychain.File("crls/list.crl"));
    EXPECT_NE(cache.Lookup(X509_get_subject_name(issuer.get()), std::time(nullptr),
                           {X509_get0_pubkey(issuer.get())}),
              nullptr);
    EXPECT_EQ(cache.Lookup(X509_get_subject_name(issuer.get()), std::time(nullptr), {}), nullptr);
}

TEST(CRLCache, StoreKeepsOneFilePerIssuerReplacedWhole) {
    const TempDir keychain;
    const CRLCache cache(keychain.Path());
    const Crypto::X509Ptr intermediate = Cert(TestPKI::Intermediate);
    const Crypto::X509Ptr root = Cert(TestPKI::Root);
    const std::time_t now = std::time(nullptr);
    CrlRequest older;
    older.thisUpdate = now - 7200;
    older.nextUpdate = now + 3600;
    CrlRequest newer = older;
    newer.thisUpdate = now - 60;
    newer.revokedSerialsHex = {"4242"};
    const std::string olderDer = TestSupport::IssueCRL(PKI(), older);
    const std::string newerDer = TestSupport::IssueCRL(PKI(), newer);
    const std::string rootDer = TestSupport::ReadFile(PKI().RootCRLDer());

    std::string error;
    ASSERT_TRUE(cache.Store(Decode(olderDer).get(), error)) << error;  // makes the folder
    const std::string file = cache.FileFor(X509_get_subject_name(intermediate.get()));
    EXPECT_EQ(TestSupport::ReadFile(file), olderDer);
    struct stat info {};
    ASSERT_EQ(::stat(cache.Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A link planted where the list goes is replaced, not written through.
    const std::string outside = keychain.File("outside");
    TestSupport::WriteFile(outside, "keep me");
    fs::remove(file);
    fs::create_symlink(outside, file);
    ASSERT_TRUE(cache.Store(Decode(newerDer).get(), error)) << error;
    EXPECT_EQ(TestSupport::ReadFile(outside), "keep me");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(TestSupport::ReadFile(file), newerDer);

    ASSERT_TRUE(cache.Store(Decode(rootDer).get(), error)) << error;
    EXPECT_EQ(TestSupport::ReadFile(cache.FileFor(X509_get_subject_name(root.get()))), rootDer);
    EXPECT_EQ(FilesIn(cache.Folder()).size(), 2u);  // no temporary file left behind

    const Crypto::X509CRLPtr found =
        cache.Lookup(X509_get_subject_name(intermediate.get()), now, {X509_get0_pubkey(intermediate.get())});
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(Der(found.get()), newerDer);
}

TEST(CRLCache, StoreReportsWhereItCannotWrite) {
    const TempDir keychain;
    TestSupport::WriteFile(keychain.File("crls"), "a file where the folder belongs");
    const CRLCache cache(keychain.Path());
    std::string error;
    EXPECT_FALSE(cache.Store(Decode(TestSupport::ReadFile(PKI().EmptyCRLDer())).get(), error));
    EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
    EXPECT_EQ(TestSupport::ReadFile(keychain.File("crls")), "a file where the folder belongs");
    EXPECT_FALSE(cache.Store(nullptr, error));
}

}  // namespace
