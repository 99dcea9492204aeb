#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/npruntime/NPEngine.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/NPProp.h"
#include "npruntime/NPVisualRep.h"
#include "npruntime/ObjectRef.h"
#include "pdf/Surface.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"
#include "support/ScopedEnv.h"
#include "support/TestPKI.h"

namespace {

NPVariant Num(double v) {
    NPVariant n;
    DOUBLE_TO_NPVARIANT(v, n);
    return n;
}
NPVariant Int(int32_t v) {
    NPVariant n;
    INT32_TO_NPVARIANT(v, n);
    return n;
}
NPVariant Str(const char* text) {
    NPVariant n;
    STRINGZ_TO_NPVARIANT(text, n);
    return n;
}
NPVariant Obj(NPObject* object) {
    NPVariant n;
    OBJECT_TO_NPVARIANT(object, n);
    return n;
}

// The request and visual objects against a fake browser, with the test
// keychain in use: what they hold, what they log and what they draw.
class NPPropTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture log;
    TestSupport::TestPKI pki;
    const TestSupport::ScopedEnv keychain{"PENDREL_KEYCHAIN", pki.Keychain().c_str()};
    const TestSupport::ScopedEnv dialogs{"PENDREL_DIALOGS", "none"};

    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
        request = NPN_CreateObject(browser.Instance(), &sNPProp_NPClass);
        ASSERT_NE(request, nullptr);
    }
    void TearDown() override {
        NPN_ReleaseObject(request);
        EXPECT_EQ(browser.LiveObjects(), 0);
        EXPECT_EQ(browser.OpenAllocations(), 0);
        NPEngine::ResetForTests();
    }

    bool Invoke(NPObject* object, const char* name, const std::vector<NPVariant>& args, NPVariant* result) {
        VOID_TO_NPVARIANT(*result);
        return object->_class->invoke(object, browser.StringId(name), args.data(),
                                      static_cast<uint32_t>(args.size()), result);
    }
    bool Set(NPObject* object, const char* name, const NPVariant& value) {
        return object->_class->setProperty(object, browser.StringId(name), &value);
    }
    // A certificate-info object holding the test signer.
    NPObject* Signer() {
        NPObject* info = NPN_CreateObject(browser.Instance(), &sNPCertInfo_NPClass);
        EXPECT_TRUE(Set(info, "subject", Str("Pendrel Test Signer")));
        NPVariant found;
        EXPECT_TRUE(Invoke(info, "search", {}, &found));
        EXPECT_TRUE(found.value.boolValue);
        return info;
    }
    NPObject* Visual(const std::vector<NPVariant>& args) {
        NPVariant result;
        EXPECT_TRUE(Invoke(request, "createVisualRepObject", args, &result));
        return NPVARIANT_IS_OBJECT(result) ? result.value.objectValue : nullptr;
    }

    TestSupport::FakeBrowser browser;
    NPObject* request = nullptr;
};

TEST_F(NPPropTest, CertificateAndVisualHoldOneReferenceAndRefuseOtherClasses) {
    NPObject* info = Signer();
    NPObject* other = NPN_CreateObject(browser.Instance(), &sNPCertInfo_NPClass);
    ASSERT_TRUE(Set(request, "certificate", Obj(info)));
    EXPECT_EQ(browser.Count(info), 2u);
    NPVariant null;
    NULL_TO_NPVARIANT(null);
    for (const NPVariant& bad : {null, Obj(request), Int(1), Str("x")}) {
        EXPECT_FALSE(Set(request, "certificate", bad));
        EXPECT_FALSE(Set(request, "visual", bad));
    }
    EXPECT_EQ(ObjectRef::As<NPProp>(request)->GetCertificate(),
              ObjectRef::As<NPCertInfo>(info)->GetCertificate());
    // Replacing releases the one held before.
    ASSERT_TRUE(Set(request, "certificate", Obj(other)));
    EXPECT_EQ(browser.Count(info), 1u);
    EXPECT_EQ(ObjectRef::As<NPProp>(request)->GetCertificate(), nullptr);  // other holds none
    NPN_ReleaseObject(info);
    NPN_ReleaseObject(other);
    EXPECT_EQ(browser.LiveObjects(), 2);  // the request and the object it holds
}

TEST_F(NPPropTest, VisualObjectNeedsAHeldCertificateAndTakesTheLowBitsOfTheColour) {
    const std::vector<NPVariant> box = {Int(1),  Int(0),     Int(0),       Num(100.7),
                                        Int(50), Num(255.9), Int(256 + 7), Int(-1)};
    EXPECT_EQ(Visual(box), nullptr);
    NPObject* info = Signer();
    ASSERT_TRUE(Set(request, "certificate", Obj(info)));
    NPN_ReleaseObject(info);
    NPObject* visual = Visual(box);
    ASSERT_NE(visual, nullptr);
    EXPECT_EQ(browser.Count(visual), 1u);  // the page's only reference
    PDF::Surface* surface = ObjectRef::As<NPVisualRep>(visual)->GetSurface();
    ASSERT_NE(surface, nullptr);
    std::vector<unsigned char> pixels(static_cast<size_t>(surface->PixelWidth()) * surface->PixelHeight() *
                                      3);
    ASSERT_TRUE(surface->GetBuffer(pixels.data(), static_cast<unsigned>(pixels.size())));
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[1], 7);
    EXPECT_EQ(pixels[2], 255);
    EXPECT_EQ(ObjectRef::As<NPProp>(request)->GetVisualRep(), nullptr);  // not assigned by itself
    NPVariant result;
    EXPECT_FALSE(Invoke(request, "createVisualRepObject",
                        {Int(1), Int(0), Int(0), Int(1), Int(1), Int(0), Int(0)}, &result));
    EXPECT_FALSE(Invoke(request, "createVisualRepObject",
                        {Int(1), Str("0"), Int(0), Int(1), Int(1), Int(0), Int(0), Int(0)}, &result));
    NPN_ReleaseObject(visual);
}

TEST_F(NPPropTest, DrawingCallsCheckTheirArgumentsAndLogWrongTypes) {
    NPObject* info = Signer();
    ASSERT_TRUE(Set(request, "certificate", Obj(info)));
    NPN_ReleaseObject(info);
    NPObject* visual = Visual({Int(1), Int(0), Int(0), Int(400), Int(200), Int(255), Int(255), Int(255)});
    ASSERT_NE(visual, nullptr);
    NPVariant null;
    NULL_TO_NPVARIANT(null);
    struct Case {
        const char* method;
        std::vector<NPVariant> args;
        bool answer;
        bool logged;
    };
    const Case cases[] = {
        {"setFont", {Str("Sans"), Str("30"), Int(0)}, false, true},
        {"setFont", {null, Int(30), Int(0)}, false, true},
        {"setFont", {Str("Sans"), Int(30)}, false, false},
        {"putImage", {Str("100"), Int(100)}, false, true},
        {"putImage", {Int(100)}, false, false},
        {"putText", {Int(1)}, false, false},
        {"putText", {Str("ok"), Str("no")}, false, false},
        {"loadImage", {}, false, false},
        {"putText", {Str("\xFF\xFE")}, false, false},  // not UTF-8: nothing drawn
        {"setFont", {Str("Sans"), Num(30.9), Int(0)}, true, false},
        {"putText", {Str("Grüße \xF0\x9F\x98\x80 $Subject")}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.method);
        const TestSupport::LogCapture calls;
        NPVariant result;
        EXPECT_EQ(Invoke(visual, c.method, c.args, &result), c.answer);
        EXPECT_EQ(calls.Has(c.method, "Incorrect parameter specified."), c.logged);
        NPN_ReleaseVariantValue(&result);
    }
    ASSERT_TRUE(Set(request, "visual", Obj(visual)));
    EXPECT_EQ(ObjectRef::As<NPProp>(request)->GetVisualRep(), ObjectRef::As<NPVisualRep>(visual));
    NPN_ReleaseObject(visual);
}

// Pixels that differ from the white background in columns [from, to).
int InkBetween(PDF::Surface* surface, int from, int to) {
    const int w = surface->PixelWidth();
    const int h = surface->PixelHeight();
    std::vector<unsigned char> pixels(static_cast<size_t>(w) * h * 3);
    if (!surface->GetBuffer(pixels.data(), static_cast<unsigned>(pixels.size()))) return -1;
    int ink = 0;
    for (int y = 0; y < h; ++y)
        for (int x = from; x < to && x < w; ++x) {
            const unsigned char* p = &pixels[(static_cast<size_t>(y) * w + x) * 3];
            if (p[0] < 200 || p[1] < 200 || p[2] < 200) ++ink;
        }
    return ink;
}

TEST_F(NPPropTest, TextLandsAtTheCursorOfTheCallAndStaysWhenTheCursorMoves) {
    NPObject* info = Signer();
    ASSERT_TRUE(Set(request, "certificate", Obj(info)));
    NPN_ReleaseObject(info);
    NPObject* visual = Visual({Int(1), Int(0), Int(0), Int(1000), Int(200), Int(255), Int(255), Int(255)});
    ASSERT_NE(visual, nullptr);
    PDF::Surface* surface = ObjectRef::As<NPVisualRep>(visual)->GetSurface();
    const int half = surface->PixelWidth() / 2;
    NPVariant result;
    ASSERT_TRUE(Invoke(visual, "setFont", {Str("Sans"), Int(60), Int(0)}, &result));
    ASSERT_TRUE(Set(visual, "posX", Int(600)));
    ASSERT_TRUE(Set(visual, "posY", Int(20)));
    ASSERT_TRUE(Invoke(visual, "putText", {Str("MMMM")}, &result));
    ASSERT_TRUE(Set(visual, "posX", Int(0)));  // moving the cursor afterwards moves nothing
    EXPECT_EQ(InkBetween(surface, 0, half), 0);
    EXPECT_GT(InkBetween(surface, half, surface->PixelWidth()), 0);
    ASSERT_TRUE(Invoke(visual, "putText", {Str("MMMM")}, &result));
    EXPECT_GT(InkBetween(surface, 0, half), 0);
    NPN_ReleaseObject(visual);
}

TEST_F(NPPropTest, FeedTakesOneStringAndPagesReportsTheLoad) {
    NPVariant result;
    EXPECT_FALSE(Invoke(request, "feedBase64Data", {Int(42)}, &result));
    EXPECT_FALSE(Invoke(request, "feedBase64Data", {}, &result));
    ASSERT_TRUE(Set(request, "file", Str("")));
    NPVariant pages;
    ASSERT_TRUE(request->_class->getProperty(request, browser.StringId("pages"), &pages));
    EXPECT_EQ(pages.value.intValue, -1);
    EXPECT_FALSE(Set(request, "file", Int(1)));
    EXPECT_FALSE(Set(request, "pages", Int(1)));
    EXPECT_TRUE(log.Has("SetFileNP", "Entering function"));
}

}  // namespace
