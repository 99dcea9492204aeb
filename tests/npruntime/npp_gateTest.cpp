#include <gtest/gtest.h>

#include <string>

#include "common/npruntime/NPEngine.h"
#include "npapi/npfunctions.h"
#include "npruntime/NPPendrelPDF.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

using Answer = TestSupport::FakeBrowser::Answer;

class NppGate : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;  // keeps the log out of the user's preferences
    void SetUp() override {
        NPEngine::ResetForTests();
        const NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
        ASSERT_TRUE(NPEngine::Init(&table));
    }
    void TearDown() override {
        if (npp()->pdata != nullptr) NPP_Destroy(npp(), nullptr);
        EXPECT_EQ(browser.LiveObjects(), 0);
        EXPECT_EQ(browser.OpenAllocations(), 0);
        NPEngine::ResetForTests();
    }
    NPP npp() { return browser.Instance(); }
    NPError New() {
        char type[] = "application/pendrelpdf";
        return NPP_New(type, npp(), NP_EMBED, 0, nullptr, nullptr, nullptr);
    }

    TestSupport::FakeBrowser browser;
};

TEST_F(NppGate, NewRefusesABrowserWithoutTheEventOrDrawingModel) {
    const struct {
        const char* what;
        Answer cocoa;
        bool acceptEvent;
        Answer coreGraphics;
        bool acceptDrawing;
        const char* line;
    } cases[] = {
        {"no Cocoa", Answer::No, true, Answer::Yes, true, "Browser does not support Cocoa event model!"},
        {"Cocoa question fails", Answer::Error, true, Answer::Yes, true,
         "Browser does not support Cocoa event model!"},
        {"event model refused", Answer::Yes, false, Answer::Yes, true, "Failed to set event model!"},
        {"no Core Graphics", Answer::Yes, true, Answer::No, true,
         "Browser does not support Core Graphiscs drawing model!"},
        {"Core Graphics question fails", Answer::Yes, true, Answer::Error, true,
         "Browser does not support Core Graphiscs drawing model!"},
        {"drawing model refused", Answer::Yes, true, Answer::Yes, false, "Failed to set drawing model!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        browser.cocoa = c.cocoa;
        browser.acceptEventModel = c.acceptEvent;
        browser.coreGraphics = c.coreGraphics;
        browser.acceptDrawingModel = c.acceptDrawing;
        const TestSupport::LogCapture log;
        EXPECT_EQ(New(), NPERR_INCOMPATIBLE_VERSION_ERROR);
        EXPECT_EQ(npp()->pdata, nullptr);
        if (log.Active()) {
            EXPECT_TRUE(log.Has("NPP_New", "Entering function"));
            EXPECT_TRUE(log.Has("NPP_New", c.line));
        }
    }
    EXPECT_EQ(NPP_New(nullptr, nullptr, NP_EMBED, 0, nullptr, nullptr, nullptr),
              NPERR_INVALID_INSTANCE_ERROR);
}

TEST_F(NppGate, NewSelectsCocoaAndCoreGraphics) {
    const TestSupport::LogCapture log;
    ASSERT_EQ(New(), NPERR_NO_ERROR);
    EXPECT_NE(npp()->pdata, nullptr);
    EXPECT_EQ(browser.values[NPPVpluginEventModel], NPEventModelCocoa);
    EXPECT_EQ(browser.values[NPPVpluginDrawingModel], NPDrawingModelCoreGraphics);
    if (log.Active()) {
        for (const char* line : {"Cocoa event model selected", "Setting Core Graphics drawing model!",
                                 "Core Graphics drawing model selected!"})
            EXPECT_TRUE(log.Has("NPP_New", line)) << line;
    }
}

TEST_F(NppGate, GetValueAnswersTheKnownVariables) {
    const char* text = nullptr;
    EXPECT_EQ(NPP_GetValue(nullptr, NPPVpluginNameString, &text), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_GetValue(npp(), NPPVpluginNameString, &text), NPERR_GENERIC_ERROR);  // no instance yet
    ASSERT_EQ(New(), NPERR_NO_ERROR);

    ASSERT_EQ(NPP_GetValue(npp(), NPPVpluginNameString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "Brannik Pendrel\xC2\xAE PDF plugin");
    ASSERT_EQ(NPP_GetValue(npp(), NPPVpluginDescriptionString, &text), NPERR_NO_ERROR);
    EXPECT_STREQ(text, "PDF Digital Signatures plugin");

    const TestSupport::LogCapture log;
    int32_t model = -1;
    ASSERT_EQ(NPP_GetValue(npp(), NPPVpluginDrawingModel, &model), NPERR_NO_ERROR);
    EXPECT_EQ(model, 1);
    model = -1;
    ASSERT_EQ(NPP_GetValue(npp(), NPPVpluginEventModel, &model), NPERR_NO_ERROR);
    EXPECT_EQ(model, 1);
    if (log.Active()) {
        EXPECT_TRUE(
            log.Has("NPP_GetValue", "Asked for drawing model... sending NPDrawingModelCoreGraphics "));
        EXPECT_TRUE(log.Has("NPP_GetValue", "Asked for event model.. sending NPEventModelCocoa"));
    }
    EXPECT_EQ(NPP_GetValue(npp(), NPPVpluginWindowBool, &model), NPERR_GENERIC_ERROR);
    EXPECT_EQ(NPP_GetValue(npp(), NPPVpluginNameString, nullptr), NPERR_GENERIC_ERROR);
}

TEST_F(NppGate, ScriptableObjectIsMadeOnceAndRetainedForEachCaller) {
    ASSERT_EQ(New(), NPERR_NO_ERROR);
    NPObject* first = nullptr;
    NPObject* second = nullptr;
    ASSERT_EQ(NPP_GetValue(npp(), NPPVpluginScriptableNPObject, &first), NPERR_NO_ERROR);
    ASSERT_EQ(NPP_GetValue(npp(), NPPVpluginScriptableNPObject, &second), NPERR_NO_ERROR);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->_class, &sNPPendrelPDF_NPClass);
    EXPECT_EQ(browser.Count(first), 3u);  // the instance's and one per caller

    // The page may keep the object beyond the instance.
    NPN_ReleaseObject(second);
    EXPECT_EQ(NPP_Destroy(npp(), nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(npp()->pdata, nullptr);
    EXPECT_EQ(browser.Count(first), 1u);
    NPN_ReleaseObject(first);
    EXPECT_EQ(browser.LiveObjects(), 0);
}

TEST_F(NppGate, StreamsAreAcceptedAndDropped) {
    EXPECT_EQ(NPP_NewStream(nullptr, nullptr, nullptr, false, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_NewStream(npp(), nullptr, nullptr, false, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(NPP_WriteReady(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_WriteReady(npp(), nullptr), 0x0FFFFFFF);
    char data[1000] = {};
    EXPECT_EQ(NPP_Write(npp(), nullptr, 0, 1000, data), 1000);
    EXPECT_EQ(NPP_Write(nullptr, nullptr, 0, 1000, data), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_DestroyStream(nullptr, nullptr, NPRES_DONE), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_DestroyStream(npp(), nullptr, NPRES_DONE), NPERR_NO_ERROR);
    EXPECT_EQ(NPP_HandleEvent(npp(), nullptr), 0);
    EXPECT_EQ(NPP_SetValue(nullptr, NPNVisOfflineBool, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_SetValue(npp(), NPNVisOfflineBool, nullptr), NPERR_NO_ERROR);
    EXPECT_EQ(NPP_Destroy(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
}

TEST_F(NppGate, SetWindowLogsTheWindowItIsGiven) {
    EXPECT_EQ(NPP_SetWindow(nullptr, nullptr), NPERR_INVALID_INSTANCE_ERROR);
    EXPECT_EQ(NPP_SetWindow(npp(), nullptr), NPERR_GENERIC_ERROR);
    int nativeWindow = 0;
    NP_CGContext context{nullptr, &nativeWindow};
    NPWindow window{};
    window.window = &context;
    window.type = NPWindowTypeDrawable;
    const TestSupport::LogCapture log;
    EXPECT_EQ(NPP_SetWindow(npp(), &window), NPERR_NO_ERROR);
    window.window = nullptr;
    EXPECT_EQ(NPP_SetWindow(npp(), &window), NPERR_NO_ERROR);  // nothing to look inside
    if (log.Active()) {
        char line[64];
        std::snprintf(line, sizeof line, "WindowRef is %p", static_cast<void*>(&nativeWindow));
        EXPECT_TRUE(log.Has("NPP_SetWindow", "Type is 2"));
        EXPECT_TRUE(log.Has("NPP_SetWindow", line));
        EXPECT_TRUE(log.Has("NPP_SetWindow", "NP_CGContext->window is (nil)"));
    }
}

}  // namespace
