// A modal window of the plug-in, on a private X server: while it is open the
// bridge serves only cancel (anything else is "busy"), cancel closes it as
// the user's Cancel would, and a port closed meanwhile ends the bridge.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/XServer.h"
#include "tests/bridge/BridgeProcess.h"

namespace {

using BridgeTest::BridgeProcess;
using BridgeTest::Expect;
using Json = nlohmann::json;
using TestSupport::ScopedEnv;

class BridgeModalTest : public testing::Test {
protected:
    void SetUp() override {
        GtkTest::XServer::Instance();
        plugin = Expect(bridge, "hello")["plugin"];
        info = Expect(bridge, "invoke", {{"object", plugin["$object"]}, {"name", "createCertInfoObject"}});
        ASSERT_TRUE(info.is_object());
    }
    // Opens the certificate chooser; answers the request (its answer comes
    // once the window closes).
    Json OpenChooser() {
        const Json request = bridge.Request("invoke", {{"object", info["$object"]}, {"name", "showDialog"}});
        bridge.Send(request);
        // Give the window time to open: a message sent meanwhile is then
        // answered from the window's loop.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return request;
    }

    const TestSupport::TestPKI& pki = TestSupport::TestPKI::Shared();
    TestSupport::TempDir dir;
    const ScopedEnv keychain{"PENDREL_KEYCHAIN", pki.Keychain().c_str()};
    const ScopedEnv windows{"PENDREL_DIALOGS", nullptr};
    const ScopedEnv tmp{"TMPDIR", dir.Path().c_str()};
    const ScopedEnv home{"HOME", dir.Path().c_str()};
    BridgeProcess bridge{{PENDREL_BRIDGE_PROGRAM, "--plugin", PENDREL_PLUGIN_LIBRARY},
                         dir.File("stderr.txt")};
    Json plugin;
    Json info;
};

TEST_F(BridgeModalTest, WhileAWindowIsOpenOnlyCancelIsServedAndItClosesTheWindow) {
    const Json dialog = OpenChooser();
    const Json get = bridge.Request("get", {{"object", plugin["$object"]}, {"name", "versionNumber"}});
    Json answer = bridge.Call(get);
    EXPECT_EQ(answer, (Json{{"id", get["id"]}, {"ok", false}, {"error", "busy"}})) << bridge.Errors();
    const Json cancel = bridge.Request("cancel");
    answer = bridge.Call(cancel);
    EXPECT_EQ(answer, (Json{{"id", cancel["id"]}, {"ok", true}, {"value", true}}));
    // The chooser closed without a choice: showDialog answers false.
    answer = bridge.Receive();
    EXPECT_EQ(answer, (Json{{"id", dialog["id"]}, {"ok", true}, {"value", false}})) << bridge.Errors();
    // And the bridge serves again.
    EXPECT_EQ(Expect(bridge, "get", {{"object", plugin["$object"]}, {"name", "versionNumber"}}), "1.2.27");
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(), 0) << bridge.Errors();
}

TEST_F(BridgeModalTest, APortClosedWhileAWindowIsOpenEndsTheBridge) {
    OpenChooser();
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(std::chrono::seconds(20)), 0) << bridge.Errors();
}

}  // namespace
