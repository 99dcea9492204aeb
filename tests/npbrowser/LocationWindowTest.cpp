#include <gtest/gtest.h>

#include <string>

#include "npbrowser/Browser.h"
#include "npbrowser/LocationWindow.h"

namespace {

// What a plug-in does to learn the page's address: window.location.href
// through the browser's table.
TEST(LocationWindow, OffersTheAddressAsLocationHrefAndNothingElse) {
    Browser browser{BrowserOptions{}};
    const NPNetscapeFuncs t = Browser::FunctionTable();
    NPP npp = browser.Instance();
    NPObject* window = LocationWindow::Create(browser.Objects(), npp, "https://pages.example:8443");
    ASSERT_NE(window, nullptr);
    const NPIdentifier location = t.getstringidentifier("location");
    const NPIdentifier href = t.getstringidentifier("href");

    EXPECT_TRUE(t.hasproperty(npp, window, location));
    EXPECT_FALSE(t.hasproperty(npp, window, href));
    EXPECT_FALSE(t.hasproperty(npp, window, t.getstringidentifier("Location"))) << "names are exact";
    EXPECT_FALSE(t.hasproperty(npp, window, t.getintidentifier(0)));
    EXPECT_FALSE(t.hasmethod(npp, window, location));

    NPVariant value;
    ASSERT_TRUE(t.getproperty(npp, window, location, &value));
    ASSERT_TRUE(NPVARIANT_IS_OBJECT(value));
    NPObject* loc = value.value.objectValue;
    NPVariant text;
    ASSERT_TRUE(t.getproperty(npp, loc, href, &text));
    ASSERT_TRUE(NPVARIANT_IS_STRING(text));
    EXPECT_EQ(std::string(text.value.stringValue.UTF8Characters, text.value.stringValue.UTF8Length),
              "https://pages.example:8443");
    t.releasevariantvalue(&text);

    // Read only, and nothing to call.
    NPVariant other;
    STRINGZ_TO_NPVARIANT("https://evil.example", other);
    EXPECT_FALSE(t.setproperty(npp, loc, href, &other));
    EXPECT_FALSE(t.getproperty(npp, loc, location, &text));
    EXPECT_TRUE(NPVARIANT_IS_VOID(text));
    NPVariant result;
    EXPECT_FALSE(t.invoke(npp, loc, href, nullptr, 0, &result));
    EXPECT_FALSE(t.invokeDefault(npp, window, nullptr, 0, &result));

    // The location outlives a window released first, and both go in the end.
    t.releaseobject(window);
    ASSERT_TRUE(t.getproperty(npp, loc, href, &text));
    t.releasevariantvalue(&text);
    t.releasevariantvalue(&value);
    EXPECT_TRUE(browser.Objects().Leaks().empty());
    EXPECT_EQ(browser.Objects().Misuses(), 0u);
}

}  // namespace
