#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/npruntime/NPEngine.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

// A browser table of any declared size, in a buffer that holds the whole
// structure (and more), so that reading past a short size is not a crash
// but a visible mistake.
struct TableBuffer {
    explicit TableBuffer(uint16_t size) : bytes(600, 0xAB) {
        NPNetscapeFuncs full = TestSupport::FakeBrowser::Table();
        full.size = size;
        std::memcpy(bytes.data(), &full, sizeof full);
    }
    NPNetscapeFuncs* Get() { return reinterpret_cast<NPNetscapeFuncs*>(bytes.data()); }
    std::vector<unsigned char> bytes;
};

class NPEngineTest : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;  // keeps the log out of the user's preferences
    void SetUp() override { NPEngine::ResetForTests(); }
    void TearDown() override { NPEngine::ResetForTests(); }
    TestSupport::FakeBrowser browser;
};

TEST_F(NPEngineTest, RejectsAMissingOrShortTableWithTheSizesLogged) {
    const TestSupport::LogCapture log;
    EXPECT_FALSE(NPEngine::Init(nullptr));
    TableBuffer shortTable(323);
    EXPECT_FALSE(NPEngine::Init(shortTable.Get()));
    EXPECT_EQ(NPEngine::Instance(), nullptr);
    if (log.Active()) {
        EXPECT_TRUE(log.Has("NPEngine", "Supplied NPNetscapeFuncs is null"));
        EXPECT_TRUE(
            log.Has("NPEngine", "NPNetscapeFuncs invalid function table size, needed at least 324 got 323"));
    }
}

TEST_F(NPEngineTest, RejectsAnotherMajorVersionSilently) {
    const TestSupport::LogCapture log;
    TableBuffer table(sizeof(NPNetscapeFuncs));
    table.Get()->version = 0x0100;
    EXPECT_FALSE(NPEngine::Init(table.Get()));
    EXPECT_EQ(NPEngine::Instance(), nullptr);
    if (log.Active()) {
        EXPECT_FALSE(log.Contains("NPEngine:"));
    }
}

TEST_F(NPEngineTest, ShortTableIsCopiedUpToItsSizeAndTheRestReadsAbsent) {
    const TestSupport::LogCapture log;
    TableBuffer table(324);  // ends inside the setexception entry
    ASSERT_TRUE(NPEngine::Init(table.Get()));
    const NPNetscapeFuncs& copy = NPEngine::Instance()->Funcs();
    EXPECT_EQ(copy.size, 324);
    EXPECT_EQ(copy.releasevariantvalue, table.Get()->releasevariantvalue);
    EXPECT_EQ(copy.setexception, nullptr);  // half an entry is no entry
    EXPECT_EQ(copy.getvalueforurl, nullptr);
    EXPECT_EQ(copy.unfocusinstance, nullptr);
    if (log.Active()) {
        EXPECT_TRUE(log.Has("NPEngine", "NPRuntime proxy configuration is ABSENT"));
    }
}

TEST_F(NPEngineTest, LongTableIsCutAt440Bytes) {
    const TestSupport::LogCapture log;
    TableBuffer table(600);
    ASSERT_TRUE(NPEngine::Init(table.Get()));
    const NPNetscapeFuncs& copy = NPEngine::Instance()->Funcs();
    EXPECT_EQ(copy.size, 440);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&copy) + 4, table.bytes.data() + 4, 436), 0);
    if (log.Active()) {
        EXPECT_TRUE(log.Has("NPEngine", "NPRuntime proxy configuration is PRESENT"));
    }
}

TEST_F(NPEngineTest, ASecondInitKeepsTheFirstTable) {
    TableBuffer first(324);
    ASSERT_TRUE(NPEngine::Init(first.Get()));
    const NPEngine* engine = NPEngine::Instance();
    TableBuffer second(440);
    EXPECT_TRUE(NPEngine::Init(second.Get()));
    EXPECT_TRUE(NPEngine::Init(nullptr));
    EXPECT_EQ(NPEngine::Instance(), engine);
    EXPECT_EQ(NPEngine::Instance()->Funcs().size, 324);
}

TEST_F(NPEngineTest, WrappersAnswerFailureWithoutTheBrowserEntry) {
    // No engine yet: nothing to call.
    EXPECT_EQ(NPN_MemAlloc(4), nullptr);
    EXPECT_EQ(NPN_CreateObject(browser.Instance(), nullptr), nullptr);
    NPBool answer = true;
    EXPECT_EQ(NPN_GetValue(browser.Instance(), NPNVsupportsCocoaBool, &answer), NPERR_GENERIC_ERROR);

    TableBuffer table(sizeof(NPNetscapeFuncs));
    table.Get()->memalloc = nullptr;
    table.Get()->utf8fromidentifier = nullptr;
    ASSERT_TRUE(NPEngine::Init(table.Get()));
    EXPECT_EQ(NPN_MemAlloc(4), nullptr);
    EXPECT_EQ(NPN_UTF8FromIdentifier(browser.StringId("x")), nullptr);
    EXPECT_EQ(NPN_GetValue(browser.Instance(), NPNVsupportsCocoaBool, &answer), NPERR_NO_ERROR);
    EXPECT_TRUE(answer);
}

}  // namespace
