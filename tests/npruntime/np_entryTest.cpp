#include <gtest/gtest.h>

#include <atomic>
#include <boost/thread/thread.hpp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/Logger.h"
#include "common/WorkerThreads.h"
#include "common/npruntime/NPEngine.h"
#include "npapi/npfunctions.h"
#include "support/FakeBrowser.h"
#include "support/LogCapture.h"

namespace {

// The plug-in's table in a buffer larger than the structure, filled with a
// pattern: what the plug-in must not write keeps the pattern.
struct PluginTable {
    explicit PluginTable(uint16_t size) : bytes(sizeof(NPPluginFuncs) + 64, 0x5A) {
        std::memcpy(bytes.data(), &size, sizeof size);
    }
    NPPluginFuncs* Get() { return reinterpret_cast<NPPluginFuncs*>(bytes.data()); }
    bool Untouched(size_t from) const {
        for (size_t i = from; i < bytes.size(); ++i)
            if (bytes[i] != 0x5A) return false;
        return true;
    }
    std::vector<unsigned char> bytes;
};

TEST(NpEntry, EntryPointsRefuseAMissingOrTooSmallTable) {
    EXPECT_EQ(NP_GetEntryPoints(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    PluginTable small(115);
    EXPECT_EQ(NP_GetEntryPoints(small.Get()), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_TRUE(small.Untouched(2));
}

TEST(NpEntry, EntryPointsFillOnlyTheSlotsInsideTheStatedSize) {
    PluginTable minimal(116);
    ASSERT_EQ(NP_GetEntryPoints(minimal.Get()), NPERR_NO_ERROR);
    const NPPluginFuncs* f = minimal.Get();
    EXPECT_EQ(f->version, 25);
    EXPECT_EQ(f->newp, &NPP_New);
    EXPECT_EQ(f->destroy, &NPP_Destroy);
    EXPECT_EQ(f->setwindow, &NPP_SetWindow);
    EXPECT_EQ(f->write, &NPP_Write);
    EXPECT_EQ(f->urlnotify, &NPP_URLNotify);
    EXPECT_EQ(f->javaClass, nullptr);
    EXPECT_EQ(f->getvalue, &NPP_GetValue);
    // setvalue lies at bytes 112 to 120 on this platform: past a 116-byte table.
    EXPECT_TRUE(minimal.Untouched(offsetof(NPPluginFuncs, setvalue)));

    PluginTable full(sizeof(NPPluginFuncs));
    ASSERT_EQ(NP_GetEntryPoints(full.Get()), NPERR_NO_ERROR);
    EXPECT_EQ(full.Get()->setvalue, &NPP_SetValue);
    EXPECT_EQ(full.Get()->event, &NPP_HandleEvent);
    EXPECT_TRUE(full.Untouched(offsetof(NPPluginFuncs, gotfocus)));  // not ours to set
}

class NpInitialize : public ::testing::Test {
protected:
    const TestSupport::LogCapture scratchLog;  // keeps the log out of the user's preferences
    void SetUp() override { NPEngine::ResetForTests(); }
    void TearDown() override { NPEngine::ResetForTests(); }
    TestSupport::FakeBrowser browser;
};

TEST_F(NpInitialize, StartsTheLogAndRejectsAShortBrowserTable) {
    const TestSupport::LogCapture log;
    NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
    table.size = 323;
    EXPECT_EQ(NP_Initialize(&table), NPERR_INVALID_FUNCTABLE_ERROR);
    EXPECT_EQ(NPEngine::Instance(), nullptr);
    EXPECT_EQ(NP_Initialize(nullptr), NPERR_INVALID_FUNCTABLE_ERROR);
    if (log.Active()) {
        EXPECT_TRUE(log.Has("NP_Initialize", "\n\n" + std::string(80, '-')));
        EXPECT_TRUE(log.Contains("] NP_Initialize:  *** Starting new Pendrel PDF 1.2.27 instance at "));
        EXPECT_TRUE(
            log.Has("NPEngine", "NPNetscapeFuncs invalid function table size, needed at least 324 got 323"));
    }
}

TEST_F(NpInitialize, AcceptsTablesFromTheMinimumUpAndKeepsTheFirst) {
    NPNetscapeFuncs first = TestSupport::FakeBrowser::Table();
    first.size = 324;
    ASSERT_EQ(NP_Initialize(&first), NPERR_NO_ERROR);
    ASSERT_NE(NPEngine::Instance(), nullptr);
    NPNetscapeFuncs second = TestSupport::FakeBrowser::Table();
    second.memalloc = nullptr;
    EXPECT_EQ(NP_Initialize(&second), NPERR_NO_ERROR);
    EXPECT_EQ(NPEngine::Instance()->Funcs().size, 324);
    void* block = NPN_MemAlloc(8);  // still through the first table
    EXPECT_NE(block, nullptr);
    NPN_MemFree(block);
}

TEST_F(NpInitialize, TableLongerThanKnownIsAccepted) {
    std::vector<unsigned char> buffer(512, 0);
    NPNetscapeFuncs table = TestSupport::FakeBrowser::Table();
    std::memcpy(buffer.data(), &table, sizeof table);
    auto* big = reinterpret_cast<NPNetscapeFuncs*>(buffer.data());
    big->size = 512;
    EXPECT_EQ(NP_Initialize(big), NPERR_NO_ERROR);
    EXPECT_EQ(NPEngine::Instance()->Funcs().size, 440);
}

TEST(NpShutdown, LogsTheEndAndReleasesTheLog) {
    const TestSupport::LogCapture log;
    const std::string file = Logger::Get()->FileName();
    EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
    if (log.Active()) {
        EXPECT_TRUE(log.Has("NP_Shutdown", "Ending instance" + std::string(65, '-') + "\n"));
    }
    // The log was released: take up the test program's log folder again.
    Logger::UseFolder(file.substr(0, file.rfind('/')));
}

// A download worker left running by a cancel ends before the browser may
// unload the library.
TEST(NpShutdown, EndsTheWorkersACancelLeftRunning) {
    auto ended = std::make_shared<std::atomic<bool>>(false);
    WorkerThreads::Instance().Abandon(boost::thread([ended] {
        // Between its interruption checks the worker still runs a while.
        try {
            for (;;) boost::this_thread::sleep_for(boost::chrono::milliseconds(50));
        } catch (const boost::thread_interrupted&) {
            boost::this_thread::disable_interruption busy;
            boost::this_thread::sleep_for(boost::chrono::milliseconds(100));
            *ended = true;
        }
    }));
    const std::string file = Logger::Get()->FileName();
    EXPECT_EQ(NP_Shutdown(), NPERR_NO_ERROR);
    EXPECT_TRUE(*ended);
    EXPECT_EQ(WorkerThreads::Instance().Count(), 0u);
    Logger::UseFolder(file.substr(0, file.rfind('/')));
}

TEST(NpEntry, MimeDescriptionNamesTheTypeTheExtensionAndThePlugIn) {
    EXPECT_STREQ(NP_GetMIMEDescription(), "application/pendrelpdf:pdf:Brannik Pendrel\xC2\xAE PDF plugin");
}

}  // namespace
