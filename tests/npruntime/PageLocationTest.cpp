#include "npruntime/PageLocation.h"

#include <gtest/gtest.h>

#include <string>

#include "common/npruntime/NPEngine.h"
#include "npapi/npfunctions.h"
#include "npruntime/NPCertInfo.h"
#include "npruntime/NPProp.h"
#include "npruntime/PluginInstance.h"
#include "npruntime/npp_gate.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

using Window = TestSupport::FakeBrowser::Window;

class PageLocationTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;
    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
    }
    void TearDown() override {
        if (browser.Instance()->pdata != nullptr) NPP_Destroy(browser.Instance(), nullptr);
        // The window, its location and the href text were all given back.
        EXPECT_EQ(browser.LiveObjects(), 0);
        EXPECT_EQ(browser.OpenAllocations(), 0);
        NPEngine::ResetForTests();
    }

    TestSupport::FakeBrowser browser;
};

TEST_F(PageLocationTest, TheWindowsLocationGivesThePagesOrigin) {
    const struct {
        const char* what;
        Window window;
        std::string href;
        PageOrigin::Kind kind;
        std::string text;
    } cases[] = {
        {"no window object: a local page", Window::None, "", PageOrigin::Local, ""},
        {"a web page", Window::WithHref, "https://Shop.Example.test:443/pay/sign.html?id=3", PageOrigin::Web,
         "https://shop.example.test"},
        {"a page on loopback", Window::WithHref, "http://127.0.0.1:8123/", PageOrigin::Web,
         "http://127.0.0.1:8123"},
        {"a local script", Window::WithHref, "file:///home/user/pages/sign.js", PageOrigin::Local, ""},
        {"no location object", Window::NoLocation, "", PageOrigin::Opaque, "null"},
        {"an href that is not text", Window::HrefNotText, "", PageOrigin::Opaque, "null"},
        {"an href that is no URL", Window::WithHref, "not a url", PageOrigin::Opaque, "null"},
        {"an empty href", Window::WithHref, "", PageOrigin::Opaque, "null"},
        {"an href with a NUL", Window::WithHref, std::string("https://a.test\0.b.test/", 23), PageOrigin::Opaque,
         "null"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        browser.window = c.window;
        browser.href = c.href;
        const PageOrigin origin = PageLocation::Origin(browser.Instance());
        EXPECT_EQ(origin.GetKind(), c.kind);
        EXPECT_EQ(origin.Text(), c.text);
        EXPECT_EQ(browser.LiveObjects(), 0);
        EXPECT_EQ(browser.OpenAllocations(), 0);
    }
}

TEST_F(PageLocationTest, AnInstanceGivesItsOriginToTheObjectsOfItsPage) {
    browser.window = Window::WithHref;
    browser.href = "https://shop.example.test/sign.html";
    char type[] = "application/pendrelpdf";
    ASSERT_EQ(NPP_New(type, browser.Instance(), NP_EMBED, 0, nullptr, nullptr, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(browser.windowRequests, 1);  // read once, when the instance is made
    EXPECT_EQ(PluginInstance::OriginOf(browser.Instance()).Text(), "https://shop.example.test");

    NPObject* prop = browser.Table().createobject(browser.Instance(), &sNPProp_NPClass);
    NPObject* info = browser.Table().createobject(browser.Instance(), &sNPCertInfo_NPClass);
    ASSERT_NE(prop, nullptr);
    ASSERT_NE(info, nullptr);
    NPProp* request = static_cast<NPProp*>(static_cast<Base*>(prop));
    EXPECT_EQ(request->Origin().Text(), "https://shop.example.test");
    EXPECT_EQ(static_cast<NPCertInfo*>(static_cast<Base*>(info))->Origin(), "https://shop.example.test");
    // The page cannot name the user's files.
    request->SetFile("/etc/hosts");
    request->LoadFileFromURL();
    EXPECT_EQ(request->Pages(), PropBase::kRefusedForOrigin);
    browser.Table().releaseobject(prop);
    browser.Table().releaseobject(info);
    EXPECT_EQ(browser.windowRequests, 1);

    // Without an instance there is no page to come from: local, as before.
    EXPECT_EQ(PluginInstance::OriginOf(nullptr).Text(), "");
}

}  // namespace
