#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "npbrowser/Browser.h"

namespace {

using Answer = BrowserOptions::Answer;

BrowserOptions Options(Answer cocoa, Answer coreGraphics) {
    BrowserOptions options;
    options.cocoa = cocoa;
    options.coreGraphics = coreGraphics;
    return options;
}

TEST(Browser, AnswersTheModelQuestionsAsConfigured) {
    const struct {
        Answer cocoa;
        Answer coreGraphics;
    } configs[] = {{Answer::Yes, Answer::Yes},
                   {Answer::No, Answer::Yes},
                   {Answer::Yes, Answer::Error},
                   {Answer::Error, Answer::No}};
    for (const auto& config : configs) {
        const BrowserOptions options = Options(config.cocoa, config.coreGraphics);
        Browser browser(options);
        const NPNetscapeFuncs table = Browser::FunctionTable();
        const struct {
            NPNVariable variable;
            Answer answer;
        } questions[] = {{NPNVsupportsCocoaBool, config.cocoa},
                         {NPNVsupportsCoreGraphicsBool, config.coreGraphics}};
        for (const auto& q : questions) {
            SCOPED_TRACE(q.variable);
            NPBool value = 7;
            const NPError rc = table.getvalue(browser.Instance(), q.variable, &value);
            if (q.answer == Answer::Error) {
                EXPECT_NE(rc, NPERR_NO_ERROR);
            } else {
                EXPECT_EQ(rc, NPERR_NO_ERROR);
                EXPECT_EQ(value, q.answer == Answer::Yes ? 1 : 0);
            }
        }
        // Selecting a model succeeds only where it is supported.
        const NPError event =
            table.setvalue(browser.Instance(), NPPVpluginEventModel,
                           reinterpret_cast<void*>(static_cast<intptr_t>(NPEventModelCocoa)));
        EXPECT_EQ(event == NPERR_NO_ERROR, config.cocoa == Answer::Yes);
        const NPError drawing =
            table.setvalue(browser.Instance(), NPPVpluginDrawingModel,
                           reinterpret_cast<void*>(static_cast<intptr_t>(NPDrawingModelCoreGraphics)));
        EXPECT_EQ(drawing == NPERR_NO_ERROR, config.coreGraphics == Answer::Yes);
    }
}

TEST(Browser, RefusesOtherModelsAndUnknownVariables) {
    const BrowserOptions options;
    Browser browser(options);
    const NPNetscapeFuncs t = Browser::FunctionTable();
    EXPECT_NE(
        t.setvalue(browser.Instance(), NPPVpluginEventModel, reinterpret_cast<void*>(NPEventModelCarbon)),
        NPERR_NO_ERROR);
    EXPECT_NE(t.setvalue(browser.Instance(), NPPVpluginDrawingModel,
                         reinterpret_cast<void*>(NPDrawingModelCoreAnimation)),
              NPERR_NO_ERROR);
    NPBool value = 0;
    EXPECT_NE(t.getvalue(browser.Instance(), static_cast<NPNVariable>(4242), &value), NPERR_NO_ERROR);
    NPP_t stranger{};
    EXPECT_EQ(t.getvalue(&stranger, NPNVsupportsCocoaBool, &value), NPERR_INVALID_INSTANCE_ERROR);
    // Without a page there is no window object.
    NPObject* window = nullptr;
    EXPECT_NE(t.getvalue(browser.Instance(), NPNVWindowNPObject, &window), NPERR_NO_ERROR);
    const struct {
        NPNVariable variable;
        NPBool expected;
    } flags[] = {{NPNVjavascriptEnabledBool, 1},
                 {NPNVprivateModeBool, 0},
                 {NPNVsupportsCarbonBool, 0},
                 {NPNVsupportsQuickDrawBool, 0},
                 {NPNVSupportsWindowless, 1}};
    for (const auto& f : flags) {
        value = 9;
        EXPECT_EQ(t.getvalue(browser.Instance(), f.variable, &value), NPERR_NO_ERROR) << f.variable;
        EXPECT_EQ(value, f.expected) << f.variable;
    }
}

TEST(Browser, IdentifiersAndVariantsFollowTheRuntimeRules) {
    const BrowserOptions options;
    Browser browser(options);
    const NPNetscapeFuncs t = Browser::FunctionTable();
    EXPECT_EQ(t.size, sizeof(NPNetscapeFuncs));
    const NPIdentifier name = t.getstringidentifier("signature");
    EXPECT_EQ(t.getstringidentifier("signature"), name);
    NPUTF8* copy = t.utf8fromidentifier(name);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "signature");
    t.memfree(copy);
    const NPIdentifier number = t.getintidentifier(12);
    EXPECT_FALSE(t.identifierisstring(number));
    EXPECT_EQ(t.intfromidentifier(number), 12);
    EXPECT_EQ(t.utf8fromidentifier(number), nullptr);

    // Releasing a variant frees its string (the sanitizer build checks it) and
    // drops its object reference.
    NPVariant text;
    auto* bytes = static_cast<NPUTF8*>(t.memalloc(3));
    std::memcpy(bytes, "abc", 3);
    STRINGN_TO_NPVARIANT(bytes, 3, text);
    t.releasevariantvalue(&text);
    EXPECT_TRUE(NPVARIANT_IS_VOID(text));

    NPClass bare = {NP_CLASS_STRUCT_VERSION,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr,
                    nullptr};
    NPObject* object = t.createobject(browser.Instance(), &bare);
    ASSERT_NE(object, nullptr);
    t.retainobject(object);
    NPVariant held;
    OBJECT_TO_NPVARIANT(object, held);
    t.releasevariantvalue(&held);
    EXPECT_EQ(object->referenceCount, 1u);
    // A class without callbacks answers every scripting call with false.
    NPVariant result;
    EXPECT_FALSE(t.invoke(browser.Instance(), object, name, nullptr, 0, &result));
    EXPECT_TRUE(NPVARIANT_IS_VOID(result));
    EXPECT_FALSE(t.hasproperty(browser.Instance(), object, name));
    NPIdentifier* ids = nullptr;
    uint32_t count = 5;
    EXPECT_FALSE(t.enumerate(browser.Instance(), object, &ids, &count));
    EXPECT_EQ(count, 0u);
    t.releaseobject(object);
    EXPECT_TRUE(browser.Objects().Leaks().empty());
}

TEST(Browser, ExceptionsAreTakenOnce) {
    const BrowserOptions options;
    Browser browser(options);
    const NPNetscapeFuncs t = Browser::FunctionTable();
    std::string message;
    EXPECT_FALSE(browser.TakeException(message));
    t.setexception(nullptr, "first");
    t.setexception(nullptr, "second");
    ASSERT_TRUE(browser.TakeException(message));
    EXPECT_EQ(message, "second");
    EXPECT_FALSE(browser.TakeException(message));
}

}  // namespace

namespace {

TEST(Browser, AsyncCallsRunLaterOnTheMainThreadInOrder) {
    const BrowserOptions options;
    Browser browser(options);
    const NPNetscapeFuncs t = Browser::FunctionTable();
    static std::string order;
    order.clear();
    t.pluginthreadasynccall(
        browser.Instance(), [](void* data) { order += static_cast<const char*>(data); },
        const_cast<char*>("a"));
    t.pluginthreadasynccall(
        browser.Instance(),
        [](void* data) {
            order += static_cast<const char*>(data);
            // A call queued by a queued call runs in the same drain.
            Browser::FunctionTable().pluginthreadasynccall(
                Browser::Current()->Instance(), [](void*) { order += "c"; }, nullptr);
        },
        const_cast<char*>("b"));
    EXPECT_EQ(order, "");
    browser.RunAsyncCalls();
    EXPECT_EQ(order, "abc");
}

}  // namespace
