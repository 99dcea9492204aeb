#include <gtest/gtest.h>
#include <openssl/pem.h>

#include <optional>
#include <vector>

#include "crypto/openssl/TrustObject.h"
#include "support/TestPKI.h"

namespace {

using Crypto::TrustObject;
using TestSupport::TestPKI;

Crypto::X509Ptr Cert(TestPKI::Id id) {
    const Crypto::BIOPtr in(BIO_new_file(TestPKI::Shared().Get(id).certPem.c_str(), "r"));
    return Crypto::X509Ptr(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
}

Crypto::X509CRLPtr List(const std::string& path) {
    const Crypto::BIOPtr in(BIO_new_file(path.c_str(), "rb"));
    return Crypto::X509CRLPtr(d2i_X509_CRL_bio(in.get(), nullptr));
}

TEST(TrustObject, ChainsToAnAnchorAndReportsRevocationAsEvidence) {
    const TestPKI& pki = TestPKI::Shared();
    const struct {
        const char* what;
        TestPKI::Id leaf;
        std::vector<TestPKI::Id> anchors;
        std::vector<TestPKI::Id> candidates;
        std::string list;  // a revocation list that takes part, if any
        TrustObject::Result result;
        bool revoked;
        int chainError;
    } cases[] = {
        {"full chain",
         TestPKI::Signer,
         {TestPKI::Root},
         {TestPKI::Intermediate},
         "",
         TrustObject::kProceed,
         false,
         X509_V_OK},
        {"no intermediate",
         TestPKI::Signer,
         {TestPKI::Root},
         {},
         "",
         TrustObject::kRecoverableTrustFailure,
         false,
         X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
        {"no anchor",
         TestPKI::Signer,
         {},
         {TestPKI::Intermediate, TestPKI::Root},
         "",
         TrustObject::kRecoverableTrustFailure,
         false,
         X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN},
        {"intermediate trusted as anchor",
         TestPKI::Signer,
         {TestPKI::Intermediate},
         {},
         "",
         TrustObject::kProceed,
         false,
         X509_V_OK},
        {"another root",
         TestPKI::Untrusted,
         {TestPKI::Root},
         {TestPKI::Intermediate},
         "",
         TrustObject::kRecoverableTrustFailure,
         false,
         X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY},
        {"expired",
         TestPKI::Expired,
         {TestPKI::Root},
         {TestPKI::Intermediate},
         "",
         TrustObject::kRecoverableTrustFailure,
         false,
         X509_V_ERR_CERT_HAS_EXPIRED},
        {"revoked",
         TestPKI::Revoked,
         {TestPKI::Root},
         {TestPKI::Intermediate},
         pki.RevokingCRLDer(),
         TrustObject::kProceed,
         true,
         X509_V_OK},
        {"not on the list",
         TestPKI::Signer,
         {TestPKI::Root},
         {TestPKI::Intermediate},
         pki.RevokingCRLDer(),
         TrustObject::kProceed,
         false,
         X509_V_OK},
        {"stale list is no failure",
         TestPKI::Revoked,
         {TestPKI::Root},
         {TestPKI::Intermediate},
         pki.StaleCRLDer(),
         TrustObject::kProceed,
         false,
         X509_V_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Crypto::X509Ptr leaf = Cert(c.leaf);
        TrustObject trust(leaf.get());
        ASSERT_TRUE(trust.Ready());
        for (const TestPKI::Id id : c.anchors) EXPECT_TRUE(trust.AddAnchor(Cert(id).get()));
        for (const TestPKI::Id id : c.candidates) EXPECT_TRUE(trust.AddCandidate(Cert(id).get()));
        if (!c.list.empty()) {
            EXPECT_TRUE(trust.AddCRL(List(c.list).get()));
        }
        EXPECT_EQ(trust.Evaluate(), c.result);
        EXPECT_EQ(trust.LeafRevoked(), c.revoked);
        EXPECT_EQ(trust.ChainError(), c.chainError) << X509_verify_cert_error_string(trust.ChainError());
    }
}

TEST(TrustObject, IssuerCandidatesAreThoseThatIssuedTheCertificate) {
    const Crypto::X509Ptr leaf = Cert(TestPKI::Signer);
    const Crypto::X509Ptr intermediate = Cert(TestPKI::Intermediate);
    TrustObject trust(leaf.get());
    trust.AddAnchor(Cert(TestPKI::Root).get());
    trust.AddAnchor(Cert(TestPKI::OtherRoot).get());
    trust.AddCandidate(intermediate.get());
    const std::vector<X509*> issuers = trust.IssuerCandidates();
    ASSERT_EQ(issuers.size(), 1u);
    EXPECT_EQ(X509_cmp(issuers[0], intermediate.get()), 0);

    TrustObject empty(nullptr);
    EXPECT_FALSE(empty.Ready());
    EXPECT_EQ(empty.Evaluate(), TrustObject::kOtherError);
    EXPECT_TRUE(empty.IssuerCandidates().empty());
}

}  // namespace
