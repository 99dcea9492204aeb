#include <gtest/gtest.h>
#include <openssl/ess.h>
#include <openssl/pem.h>

#include "crypto/openssl/CMSignatureOpenSSL.h"
#include "crypto/openssl/CertStoreFile.h"
#include "crypto/openssl/PlatformOpenSSL.h"
#include "support/LogCapture.h"
#include "support/OpenSSLTool.h"
#include "support/PeakMemory.h"
#include "support/Process.h"
#include "support/TestPKI.h"

namespace {

using Crypto::CMSignatureOpenSSL;
using TestSupport::TestPKI;
using Bytes = std::vector<unsigned char>;

const TestPKI& PKI() {
    return TestPKI::Shared();
}

const unsigned char* U(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

// A document of some size with every byte value in it.
std::string Document(std::size_t size) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + i / 7) & 0xff);
    return text;
}

// Feeds text in pieces of uneven sizes.
bool FeedInPieces(Crypto::CMSignature& cms, const std::string& text) {
    std::size_t at = 0;
    for (std::size_t piece = 1; at < text.size(); piece = piece * 3 + 1) {
        const std::size_t n = std::min(piece % 40000 + 1, text.size() - at);
        if (!cms.FeedContent(U(text) + at, n, at + n == text.size())) return false;
        at += n;
    }
    return true;
}

struct CMSignatureTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(identities.Open(Crypto::CertStore::Personal));
        ASSERT_TRUE(others.Open(Crypto::CertStore::Other));
        intermediate = others.FindBySubject("Pendrel Test Intermediate CA");
        ASSERT_NE(intermediate, nullptr);
    }
    Crypto::Certificate* Identity(const char* subject) {
        Crypto::Certificate* cert = identities.FindBySubject(subject);
        EXPECT_NE(cert, nullptr) << subject;
        return cert;
    }
    // Signs text and answers the DER message (empty on failure).
    Bytes SignWith(Crypto::Certificate* signer, const std::vector<Crypto::Certificate*>& supporting,
                   const std::string& text) {
        CMSignatureOpenSSL cms;
        cms.SetSigner(signer);
        for (Crypto::Certificate* cert : supporting) cms.AddCert(cert);
        if (!cms.InitSign() || !FeedInPieces(cms, text)) return {};
        Bytes out(cms.GetSize(Crypto::Hash::SHA256));
        unsigned long size = out.size();
        if (!cms.Sign(out.data(), size)) return {};
        out.resize(size);
        return out;
    }
    std::string Run(const std::vector<std::string>& argv, int* status) {
        std::string output;
        *status = TestSupport::RunProgram(argv, &output);
        return output;
    }

    TestSupport::TempDir dir;
    Crypto::CertStoreFile identities{PKI().Keychain()};
    Crypto::CertStoreFile others{PKI().Keychain()};
    Crypto::Certificate* intermediate = nullptr;
};

TEST_F(CMSignatureTest, GetSizeReservesPerSupportingCertificate) {
    for (const int count : {0, 1, 2, 5}) {
        CMSignatureOpenSSL cms;
        for (int i = 0; i < count; ++i) cms.AddCert(intermediate);
        cms.AddCert(nullptr);  // ignored
        for (const auto type :
             {Crypto::Hash::MD5, Crypto::Hash::SHA1, Crypto::Hash::SHA256, Crypto::Hash::SHA512})
            EXPECT_EQ(cms.GetSize(type), 6144u + 2048u * static_cast<unsigned>(count)) << count;
    }
}

TEST_F(CMSignatureTest, SignerWithoutKeyOrInitIsRefused) {
    Crypto::Certificate* noKey = others.FindBySubject("Pendrel Without Key");
    ASSERT_NE(noKey, nullptr);
    for (Crypto::Certificate* signer : {noKey, static_cast<Crypto::Certificate*>(nullptr)}) {
        CMSignatureOpenSSL cms;
        cms.SetSigner(signer);
        EXPECT_FALSE(cms.InitSign());
        EXPECT_TRUE(cms.FeedContent(U("abc"), 3, true));  // ignored without a signer
        unsigned long size = 100000;
        Bytes out(size);
        EXPECT_FALSE(cms.Sign(out.data(), size));
        EXPECT_EQ(size, 100000u);
    }
    CMSignatureOpenSSL notStarted;
    notStarted.SetSigner(Identity("Pendrel Test Signer"));
    unsigned long size = 100000;
    Bytes out(size);
    EXPECT_FALSE(notStarted.Sign(out.data(), size));  // InitSign was not called
}

TEST_F(CMSignatureTest, SignChecksTheBufferSize) {
    CMSignatureOpenSSL cms;
    cms.SetSigner(Identity("Pendrel Test Signer"));
    ASSERT_TRUE(cms.InitSign());
    ASSERT_TRUE(cms.FeedContent(U("content"), 7, true));
    Bytes out(cms.GetSize(Crypto::Hash::SHA256));
    unsigned long size = 100;
    EXPECT_FALSE(cms.Sign(out.data(), size));
    EXPECT_EQ(size, 100u);  // unchanged when too small
    size = out.size();
    EXPECT_FALSE(cms.Sign(nullptr, size));  // no buffer: only the size is given
    const unsigned long needed = size;
    EXPECT_LT(needed, out.size());
    EXPECT_GT(needed, 1000u);
    size = needed;
    EXPECT_TRUE(cms.Sign(out.data(), size));
    EXPECT_EQ(size, needed);
    EXPECT_EQ(out[0], 0x30);                            // a DER SEQUENCE
    EXPECT_FALSE(cms.FeedContent(U("late"), 4, true));  // the message is already made
}

TEST_F(CMSignatureTest, OurSignaturesVerifyWithOpenSSL) {
    const std::string document = Document(300000);
    TestSupport::WriteFile(dir.File("doc.pdf"), document);
    const std::string root = PKI().Get(TestPKI::Root).certPem;
    // Without the intermediate in the message, openssl takes it from the CA file.
    const std::string chain = dir.File("root-and-intermediate.pem");
    TestSupport::WriteFile(
        chain, TestSupport::ReadFile(root) + TestSupport::ReadFile(PKI().Get(TestPKI::Intermediate).certPem));
    const struct {
        const char* signer;
        bool embedIntermediate;
    } cases[] = {
        {"Pendrel Test Signer", true}, {"Pendrel Test Signer", false}, {"Pendrel PEM Signer", true},
        {"Pendrel EC Signer", true},   {"Pendrel DSA Signer", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.signer) + (c.embedIntermediate ? " with intermediate" : ""));
        std::vector<Crypto::Certificate*> supporting;
        if (c.embedIntermediate)
            supporting = {intermediate, Identity(c.signer)};  // the signer is not doubled
        const Bytes der = SignWith(Identity(c.signer), supporting, document);
        ASSERT_FALSE(der.empty());
        TestSupport::WriteFile(dir.File("sig.der"), std::string(der.begin(), der.end()));
        int status = 0;
        std::vector<std::string> verify = {
            "openssl",           "cms",      "-verify",           "-binary", "-inform",  "DER", "-in",
            dir.File("sig.der"), "-content", dir.File("doc.pdf"), "-out",    "/dev/null"};
        std::vector<std::string> trusted = verify;
        trusted.insert(trusted.end(), {"-CAfile", c.embedIntermediate ? root : chain});
        std::string output = Run(trusted, &status);
        EXPECT_EQ(status, 0) << output;
        verify.push_back("-noverify");
        output = Run(verify, &status);
        EXPECT_EQ(status, 0) << output;

        const std::string printed = Run(
            {"openssl", "cms", "-cmsout", "-print", "-inform", "DER", "-in", dir.File("sig.der")}, &status);
        EXPECT_NE(printed.find("eContent: <ABSENT>"), std::string::npos);  // detached
        EXPECT_NE(printed.find("algorithm: sha256"), std::string::npos);
        const std::size_t certs = c.embedIntermediate ? 2 : 1;
        std::size_t found = 0;
        for (std::size_t at = printed.find("cert_info:"); at != std::string::npos;
             at = printed.find("cert_info:", at + 1))
            ++found;
        EXPECT_EQ(found, certs);

        TestSupport::WriteFile(dir.File("altered.pdf"), document.substr(0, document.size() - 1) + "!");
        std::vector<std::string> altered = verify;
        altered[9] = dir.File("altered.pdf");
        Run(altered, &status);
        EXPECT_NE(status, 0);
    }
}

TEST_F(CMSignatureTest, OpenSSLSignaturesVerifyAndNameTheirSigner) {
    const std::string document = Document(100000);
    TestSupport::WriteFile(dir.File("doc.pdf"), document);
    const struct {
        const char* what;
        TestPKI::Id signer;
        std::vector<std::string> options;
        std::string content;
        bool valid;
        const char* signerSubject;
    } cases[] = {
        {"RSA, signed attributes", TestPKI::Signer, {}, document, true, "Pendrel Test Signer"},
        {"RSA, SHA-512", TestPKI::Signer, {"-md", "sha512"}, document, true, "Pendrel Test Signer"},
        {"RSA, no signed attributes", TestPKI::Signer, {"-noattr"}, document, true, "Pendrel Test Signer"},
        {"EC", TestPKI::ECSigner, {}, document, true, "Pendrel EC Signer"},
        {"altered content",
         TestPKI::Signer,
         {},
         document.substr(0, 5000) + "X" + document.substr(5001),
         false,
         "Pendrel Test Signer"},
        {"altered content, no signed attributes",
         TestPKI::Signer,
         {"-noattr"},
         document + "!",
         false,
         "Pendrel Test Signer"},
        {"shorter content", TestPKI::Signer, {}, document.substr(1), false, "Pendrel Test Signer"},
        {"signer certificate left out", TestPKI::Signer, {"-nocerts"}, document, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> sign = {"openssl",  "cms",
                                         "-sign",    "-binary",
                                         "-in",      dir.File("doc.pdf"),
                                         "-signer",  PKI().Get(c.signer).certPem,
                                         "-inkey",   PKI().Get(c.signer).keyPem,
                                         "-outform", "DER",
                                         "-out",     dir.File("sig.der")};
        sign.insert(sign.end(), c.options.begin(), c.options.end());
        int status = 0;
        const std::string output = Run(sign, &status);
        ASSERT_EQ(status, 0) << output;
        const std::string der = TestSupport::ReadFile(dir.File("sig.der"));

        const Crypto::PlatformOpenSSL platform;
        const auto cms = platform.CreateCMSignature();
        ASSERT_TRUE(cms->Load(U(der), der.size(), c.content.size()));
        ASSERT_TRUE(FeedInPieces(*cms, c.content));
        EXPECT_EQ(cms->Verify(), c.valid);
        EXPECT_EQ(cms->Verify(), c.valid);  // the digest is not used up
        if (c.signerSubject == nullptr) {
            EXPECT_EQ(cms->SignerCert(), nullptr);
        } else {
            ASSERT_NE(cms->SignerCert(), nullptr);
            EXPECT_EQ(cms->SignerCert()->Subject(), c.signerSubject);
            EXPECT_FALSE(cms->SignerCert()->HasPrivateKey());
        }
        EXPECT_EQ(cms->CertsCount(), 0);
        EXPECT_EQ(cms->GetCert(0), nullptr);
    }
}

// What others sign with: every digest, padding and key type is judged as
// openssl judges it, except MD5, which we refuse on purpose; and every one
// fails once the content changes.
TEST_F(CMSignatureTest, DigestsAndKeysOfOtherSignersAgreeWithOpenSSL) {
    const std::string document = Document(70000);
    const TestSupport::PKICert& rsa = PKI().Get(TestPKI::Signer);
    const TestSupport::PKICert p384 = TestSupport::MakeECSigner(dir, "P-384");
    const struct {
        const char* what;
        TestSupport::PKICert signer;
        std::vector<std::string> options;
        bool valid;  // ours
        bool opensslValid;
        const char* log;  // a line Verify writes, or null
        const char* subject;
    } cases[] = {
        {"SHA-256", rsa, {}, true, true, nullptr, "Pendrel Test Signer"},
        {"SHA-384", rsa, {"-md", "sha384"}, true, true, nullptr, "Pendrel Test Signer"},
        {"SHA-512", rsa, {"-md", "sha512"}, true, true, nullptr, "Pendrel Test Signer"},
        {"SHA-1",
         rsa,
         {"-md", "sha1"},
         true,
         true,
         "The signature uses the weak SHA-1 digest; it is judged on its merits",
         "Pendrel Test Signer"},
        {"MD5",
         rsa,
         {"-md", "md5"},
         false,
         true,
         "The signature uses the MD5 digest, which no longer protects a document: not valid",
         "Pendrel Test Signer"},
        {"RSA-PSS", rsa, {"-keyopt", "rsa_padding_mode:pss"}, true, true, nullptr, "Pendrel Test Signer"},
        {"RSA-PSS, SHA-512",
         rsa,
         {"-md", "sha512", "-keyopt", "rsa_padding_mode:pss"},
         true,
         true,
         nullptr,
         "Pendrel Test Signer"},
        {"ECDSA P-256", PKI().Get(TestPKI::ECSigner), {}, true, true, nullptr, "Pendrel EC Signer"},
        {"ECDSA P-384, SHA-384", p384, {"-md", "sha384"}, true, true, nullptr, "Pendrel P-384 Signer"},
        {"signer named by subject key identifier",
         rsa,
         {"-keyid"},
         true,
         true,
         nullptr,
         "Pendrel Test Signer"},
        {"CAdES: signingCertificateV2", rsa, {"-cades"}, true, true, nullptr, "Pendrel Test Signer"},
        {"no signed attributes", rsa, {"-noattr"}, true, true, nullptr, "Pendrel Test Signer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string der = TestSupport::CmsSign(dir, document, c.signer, c.options);
        for (const std::string& content :
             {document, document.substr(0, 30000) + "#" + document.substr(30001)}) {
            const bool original = content == document;
            SCOPED_TRACE(original ? "as signed" : "one byte changed");
            const Crypto::PlatformOpenSSL platform;
            const auto cms = platform.CreateCMSignature();
            const TestSupport::LogCapture log;
            ASSERT_TRUE(cms->Load(U(der), der.size(), content.size()));
            ASSERT_TRUE(FeedInPieces(*cms, content));
            EXPECT_EQ(cms->Verify(), original && c.valid);
            // openssl checks the signing-certificate attribute only when asked to.
            const bool cades = c.options == std::vector<std::string>{"-cades"};
            EXPECT_EQ(
                TestSupport::CmsVerifies(dir, content, der, cades ? c.options : std::vector<std::string>{}),
                original && c.opensslValid);
            ASSERT_NE(cms->SignerCert(), nullptr);
            EXPECT_EQ(cms->SignerCert()->Subject(), c.subject);
            if (c.log != nullptr && log.Enabled()) {
                EXPECT_TRUE(log.Has("Verify", c.log)) << log.Text();
            }
        }
    }
}

// A detached message by OpenSSL's C API, signed by the Signer, whose
// signingCertificateV2 attribute names `named`.
std::string SignNaming(const std::string& content, TestPKI::Id named) {
    const auto readCert = [](TestPKI::Id id) {
        const Crypto::BIOPtr in(BIO_new_file(PKI().Get(id).certPem.c_str(), "r"));
        return Crypto::X509Ptr(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    };
    const Crypto::X509Ptr signer = readCert(TestPKI::Signer);
    const Crypto::X509Ptr other = readCert(named);
    const Crypto::BIOPtr keyIn(BIO_new_file(PKI().Get(TestPKI::Signer).keyPem.c_str(), "r"));
    const Crypto::EVPPKeyPtr key(PEM_read_bio_PrivateKey(keyIn.get(), nullptr, nullptr, nullptr));
    const unsigned flags = CMS_DETACHED | CMS_BINARY | CMS_PARTIAL;
    const Crypto::CMSPtr cms(CMS_sign(nullptr, nullptr, nullptr, nullptr, flags));
    CMS_SignerInfo* const info = CMS_add1_signer(cms.get(), signer.get(), key.get(), EVP_sha256(), flags);
    EXPECT_NE(info, nullptr);
    ESS_SIGNING_CERT_V2* const ess = OSSL_ESS_signing_cert_v2_new_init(EVP_sha256(), other.get(), nullptr, 1);
    unsigned char* essDer = nullptr;
    const int essLength = i2d_ESS_SIGNING_CERT_V2(ess, &essDer);
    ESS_SIGNING_CERT_V2_free(ess);
    EXPECT_EQ(CMS_signed_add1_attr_by_NID(info, NID_id_smime_aa_signingCertificateV2, V_ASN1_SEQUENCE, essDer,
                                          essLength),
              1);
    OPENSSL_free(essDer);
    const Crypto::BIOPtr data(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
    EXPECT_EQ(CMS_final(cms.get(), data.get(), nullptr, CMS_DETACHED | CMS_BINARY), 1);
    unsigned char* der = nullptr;
    const int length = i2d_CMS_ContentInfo(cms.get(), &der);
    std::string bytes(reinterpret_cast<char*>(der), static_cast<std::size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

TEST_F(CMSignatureTest, SigningCertificateAttributeMustNameTheSigner) {
    const std::string document = Document(20000);
    for (const auto& [named, valid] :
         {std::pair{TestPKI::Signer, true}, std::pair{TestPKI::Intermediate, false}}) {
        SCOPED_TRACE(PKI().Get(named).name);
        const std::string der = SignNaming(document, named);
        CMSignatureOpenSSL cms;
        const TestSupport::LogCapture log;
        ASSERT_TRUE(cms.Load(U(der), der.size(), document.size()));
        ASSERT_TRUE(FeedInPieces(cms, document));
        EXPECT_EQ(cms.Verify(), valid);
        EXPECT_EQ(TestSupport::CmsVerifies(dir, document, der, {"-cades"}), valid);
        ASSERT_NE(cms.SignerCert(), nullptr);  // reported, with its signer
        if (!valid && log.Enabled()) {
            EXPECT_TRUE(log.Has("Verify",
                                "The signing-certificate attribute does not name the signer's certificate"));
        }
    }
}

TEST_F(CMSignatureTest, SignThenVerifyRoundTrip) {
    const std::string document = Document(50000);
    const Bytes der = SignWith(Identity("Pendrel Test Signer"), {intermediate}, document);
    ASSERT_FALSE(der.empty());
    CMSignatureOpenSSL cms;
    ASSERT_TRUE(cms.Load(der.data(), der.size(), document.size()));
    ASSERT_TRUE(FeedInPieces(cms, document));
    EXPECT_TRUE(cms.Verify());
    ASSERT_NE(cms.SignerCert(), nullptr);
    EXPECT_EQ(cms.SignerCert()->Subject(), "Pendrel Test Signer");
    // Loading again starts afresh: nothing fed yet, so the empty content does not match.
    ASSERT_TRUE(cms.Load(der.data(), der.size(), document.size()));
    EXPECT_FALSE(cms.Verify());
}

TEST_F(CMSignatureTest, FeedingBeyondTheAnnouncedSizeIsRefused) {
    const Bytes der = SignWith(Identity("Pendrel Test Signer"), {}, "0123456789");
    ASSERT_FALSE(der.empty());
    CMSignatureOpenSSL cms;
    ASSERT_TRUE(cms.Load(der.data(), der.size(), 10));
    EXPECT_TRUE(cms.FeedContent(U("012345"), 6, false));
    EXPECT_FALSE(cms.FeedContent(U("67890"), 5, false));  // one byte too many: nothing taken
    EXPECT_TRUE(cms.FeedContent(U("6789"), 4, true));
    EXPECT_FALSE(cms.FeedContent(U("x"), 1, true));
    EXPECT_TRUE(cms.FeedContent(U(""), 0, true));
    EXPECT_TRUE(cms.Verify());
}

TEST_F(CMSignatureTest, BadMessagesAreRefused) {
    const Bytes good = SignWith(Identity("Pendrel Test Signer"), {}, "content");
    ASSERT_FALSE(good.empty());
    TestSupport::WriteFile(dir.File("doc"), "content");
    int status = 0;
    Run({"openssl", "cms", "-data_create", "-binary", "-in", dir.File("doc"), "-outform", "DER", "-out",
         dir.File("data.der")},
        &status);
    ASSERT_EQ(status, 0);
    const std::string dataOnly = TestSupport::ReadFile(dir.File("data.der"));
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"0 bytes", {}},
        {"garbage", Bytes(500, 0x42)},
        {"truncated", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2))},
        {"first byte only", Bytes(good.begin(), good.begin() + 1)},
        {"not signed data", Bytes(dataOnly.begin(), dataOnly.end())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CMSignatureOpenSSL cms;
        EXPECT_FALSE(cms.Load(c.bytes.empty() ? nullptr : c.bytes.data(), c.bytes.size(), 7));
        EXPECT_TRUE(cms.FeedContent(U("content"), 7, true));  // nothing to feed into: ignored
        EXPECT_FALSE(cms.Verify());
        EXPECT_EQ(cms.SignerCert(), nullptr);
        // A good message loaded afterwards works.
        ASSERT_TRUE(cms.Load(good.data(), good.size(), 7));
        ASSERT_TRUE(cms.FeedContent(U("content"), 7, true));
        EXPECT_TRUE(cms.Verify());
    }
    CMSignatureOpenSSL neverLoaded;
    EXPECT_FALSE(neverLoaded.Verify());
    EXPECT_EQ(neverLoaded.SignerCert(), nullptr);
}

}  // namespace

namespace {

// Signing and verifying stream the content through the digest: a large
// document does not raise the memory used.
TEST_F(CMSignatureTest, LargeContentDoesNotGrowMemory) {
    constexpr std::size_t kTotal = 96u << 20;
    const std::string block = Document(1 << 16);
    const long before = TestSupport::PeakKiB();

    CMSignatureOpenSSL signer;
    signer.SetSigner(Identity("Pendrel Test Signer"));
    ASSERT_TRUE(signer.InitSign());
    for (std::size_t fed = 0; fed < kTotal; fed += block.size())
        ASSERT_TRUE(signer.FeedContent(U(block), block.size(), fed + block.size() == kTotal));
    Bytes der(signer.GetSize(Crypto::Hash::SHA256));
    unsigned long size = der.size();
    ASSERT_TRUE(signer.Sign(der.data(), size));

    CMSignatureOpenSSL verifier;
    ASSERT_TRUE(verifier.Load(der.data(), size, kTotal));
    for (std::size_t fed = 0; fed < kTotal; fed += block.size())
        ASSERT_TRUE(verifier.FeedContent(U(block), block.size(), fed + block.size() == kTotal));
    EXPECT_TRUE(verifier.Verify());
    EXPECT_LT(TestSupport::PeakKiB() - before, 10 * 1024);
}

}  // namespace
