#include <gtest/gtest.h>

#include <utility>

#include "common/npruntime/NPEngine.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/NPObjectPtr.h"
#include "npruntime/NPSignature.h"
#include "npruntime/ObjectRef.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

// The owner's reference against a browser that counts them.
class NPObjectPtrTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;
    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
    }
    void TearDown() override {
        EXPECT_EQ(browser.LiveObjects(), 0);
        NPEngine::ResetForTests();
    }
    NPObject* Create() { return NPN_CreateObject(browser.Instance(), &sNPCertInfo_NPClass); }

    TestSupport::FakeBrowser browser;
};

TEST_F(NPObjectPtrTest, CopiesRetainAndDropsRelease) {
    NPObject* object = Create();
    {
        const NPObjectPtr owner = NPObjectPtr::Adopt(object);  // the creation reference
        EXPECT_EQ(browser.Count(object), 1u);
        {
            NPObjectPtr copy = owner;
            EXPECT_EQ(browser.Count(object), 2u);
            NPObjectPtr assigned;
            assigned = copy;
            EXPECT_EQ(browser.Count(object), 3u);
            const NPObjectPtr& self = assigned;
            assigned = self;  // self-assignment keeps the one reference
            EXPECT_EQ(browser.Count(object), 3u);
            const NPObjectPtr moved = std::move(copy);
            EXPECT_EQ(browser.Count(object), 3u);
            EXPECT_FALSE(copy);  // NOLINT: moved from on purpose
        }
        EXPECT_EQ(browser.Count(object), 1u);
        NPObject* shared = owner.Share();  // the caller's own reference
        EXPECT_EQ(shared, object);
        EXPECT_EQ(browser.Count(object), 2u);
        NPN_ReleaseObject(shared);
    }
    EXPECT_EQ(browser.LiveObjects(), 0);
}

TEST_F(NPObjectPtrTest, AssigningReleasesTheObjectHeldBefore) {
    NPObject* first = Create();
    NPObject* second = Create();
    NPObjectPtr held = NPObjectPtr::Retain(first);
    NPN_ReleaseObject(first);  // the creator lets go: the owner's reference remains
    EXPECT_EQ(browser.Count(first), 1u);
    held = NPObjectPtr::Adopt(second);
    EXPECT_EQ(browser.LiveObjects(), 1) << "the first object went with its last reference";
    NPObject* handed = held.Release();
    EXPECT_FALSE(held);
    EXPECT_EQ(browser.Count(handed), 1u);
    NPN_ReleaseObject(handed);
    EXPECT_EQ(NPObjectPtr::Retain(nullptr).Share(), nullptr);
}

// What the factories hand the engine: its owner gives the reference back to
// the browser when dropped, and hands it on to the script layer unchanged.
TEST_F(NPObjectPtrTest, EngineOwnersCarryTheBrowserReference) {
    NPObject* object = Create();
    FactoryPtr<CertInfoBase> engineOwner =
        ObjectRef::ToEngine<NPCertInfo, CertInfoBase>(NPObjectPtr::Adopt(object));
    EXPECT_EQ(engineOwner.get(), ObjectRef::As<NPCertInfo>(object));
    EXPECT_EQ(browser.Count(object), 1u);
    NPObjectPtr back = ObjectRef::FromEngine<NPCertInfo>(std::move(engineOwner));
    EXPECT_EQ(back.Get(), object);
    EXPECT_EQ(browser.Count(object), 1u);
    engineOwner = ObjectRef::ToEngine<NPCertInfo, CertInfoBase>(std::move(back));
    engineOwner.reset();
    EXPECT_EQ(browser.LiveObjects(), 0);
    EXPECT_FALSE((ObjectRef::ToEngine<NPSignature, SignatureBase>(NPObjectPtr())));
}

}  // namespace
