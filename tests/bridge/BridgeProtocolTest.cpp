// pendrel-bridge as the browser meets it, with the small test plug-in: the
// framing, every kind of bad message, values and objects by handle, the
// window's location, and a clean end when the port closes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "tests/bridge/BridgeProcess.h"

namespace {

using BridgeTest::BridgeProcess;
using BridgeTest::Expect;
using BridgeTest::ExpectError;
using Json = nlohmann::json;

class BridgeProtocolTest : public testing::Test {
protected:
    // A bridge that has said hello; `plugin` is the scriptable object's handle.
    void Hello() {
        const Json value = Expect(bridge, "hello");
        ASSERT_TRUE(value.is_object() && value["plugin"].is_object()) << value.dump();
        plugin = value["plugin"]["$object"];
        EXPECT_TRUE(value["version"].is_string());
    }
    // The arguments as a list, so that one argument is never taken for the
    // array itself (compilers differ on a braced single JSON value).
    Json Invoke(const std::string& name, std::vector<Json> args = {}, Json object = nullptr) {
        return Expect(bridge, "invoke",
                      {{"object", object.is_null() ? plugin : object}, {"name", name}, {"args", Json(args)}});
    }
    // Ends the connection; the bridge must end cleanly with nothing left alive.
    void ExpectCleanEnd() {
        bridge.CloseInput();
        EXPECT_EQ(bridge.Wait(), 0) << bridge.Errors();
        EXPECT_NE(bridge.Errors().find("pendrel-bridge: 0 leaked object(s)"), std::string::npos)
            << bridge.Errors();
    }

    const TestSupport::TempDir dir;
    const TestSupport::ScopedEnv leaks{"PENDREL_BRIDGE_LEAKS", "1"};
    BridgeProcess bridge{
        {PENDREL_BRIDGE_PROGRAM, "chrome-extension://abcdef/", "--plugin", PENDREL_TEST_PLUGIN},
        dir.File("stderr.txt")};
    Json plugin;
};

TEST_F(BridgeProtocolTest, FramesSplitAcrossReadsZeroLengthAndOversizedOnesAreHandled) {
    // A hello written a byte at a time.
    const Json hello = bridge.Request("hello");
    const std::string payload = hello.dump();
    const auto length = static_cast<std::uint32_t>(payload.size());
    const std::string frame = std::string(reinterpret_cast<const char*>(&length), 4) + payload;
    for (const char c : frame) ASSERT_TRUE(bridge.WriteRaw(std::string(1, c)));
    Json answer = bridge.Receive();
    ASSERT_TRUE(answer.value("ok", false)) << answer.dump();
    EXPECT_EQ(answer["id"], hello["id"]);

    // An empty frame holds no message: an error without an id.
    ASSERT_TRUE(bridge.Send(std::string()));
    answer = bridge.Receive();
    EXPECT_EQ(answer, (Json{{"id", nullptr}, {"ok", false}, {"error", "the message is not valid JSON"}}));

    // Over 64 MiB: refused, its bytes skipped, and the next frame is read where it starts.
    const std::uint32_t huge = 64 * 1024 * 1024 + 1;
    ASSERT_TRUE(bridge.WriteRaw(std::string(reinterpret_cast<const char*>(&huge), 4)));
    ASSERT_TRUE(bridge.WriteRaw(std::string(huge, '[')));
    answer = bridge.Receive();
    EXPECT_FALSE(answer.value("ok", true));
    EXPECT_TRUE(answer["id"].is_null());
    EXPECT_NE(answer.value("error", "").find("67108865 bytes is over the limit of 64 MiB"), std::string::npos)
        << answer.dump();
    EXPECT_EQ(Expect(bridge, "cancel"), true);

    // An answer over 1 MiB would make the browser drop the port: refused instead.
    EXPECT_EQ(ExpectError(bridge, "invoke",
                          {{"object", 1}, {"name", "echo"}, {"args", {std::string(1024 * 1024, 'x')}}}),
              "the answer would be larger than 1 MiB");
    const std::string justUnder(1024 * 1024 - 100, 'y');
    EXPECT_EQ(Expect(bridge, "invoke", {{"object", 1}, {"name", "echo"}, {"args", {justUnder}}}), justUnder);
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, APortClosedInsideAFrameEndsTheBridgeCleanly) {
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"inside the length", std::string("\x10\x00", 2)},
        {"inside the message", std::string("\x64\x00\x00\x00{\"id\":1,", 12)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BridgeProcess cut({PENDREL_BRIDGE_PROGRAM, "--plugin", PENDREL_TEST_PLUGIN}, dir.File("cut.txt"));
        Expect(cut, "hello");
        ASSERT_TRUE(cut.WriteRaw(c.bytes));
        cut.CloseInput();
        EXPECT_EQ(cut.Wait(), 0);
        EXPECT_NE(cut.Errors().find("the port closed inside a message"), std::string::npos) << cut.Errors();
        EXPECT_NE(cut.Errors().find("0 leaked object(s)"), std::string::npos) << cut.Errors();
    }
}

TEST_F(BridgeProtocolTest, MessagesBeforeHelloAndWithoutTheirFieldsAreRefused) {
    const struct {
        const char* payload;
        const char* error;
        bool hasId;
    } before[] = {
        {"not json", "the message is not valid JSON", false},
        {"{\"id\": 1, \"op\": \"hello\", \"origin\": \"https://a.example\"", "the message is not valid JSON",
         false},
        {"\"\xff\xfe\"", "the message is not valid JSON", false},
        {"[1, 2]", "a message must be a JSON object", false},
        {"{\"op\": \"hello\", \"origin\": \"https://a.example\"}", "a message needs an integer id", false},
        {"{\"id\": \"7\", \"op\": \"hello\", \"origin\": \"https://a.example\"}",
         "a message needs an integer id", false},
        {"{\"id\": 1.5, \"op\": \"hello\", \"origin\": \"https://a.example\"}",
         "a message needs an integer id", false},
        {"{\"id\": 2, \"origin\": \"https://a.example\"}", "the message needs a string \"op\"", true},
        {"{\"id\": 3, \"op\": 5, \"origin\": \"https://a.example\"}", "the message needs a string \"op\"",
         true},
        {"{\"id\": 4, \"op\": \"hello\"}", "the message needs a string \"origin\"", true},
        {"{\"id\": 5, \"op\": \"hello\", \"origin\": \"\"}", "a message needs an origin", true},
        {"{\"id\": 6, \"op\": \"get\", \"origin\": \"https://a.example\", \"object\": 1, \"name\": \"x\"}",
         "the first message must be hello", true},
        {"{\"id\": 7, \"op\": \"cancel\", \"origin\": \"https://a.example\"}",
         "the first message must be hello", true},
    };
    for (const auto& c : before) {
        SCOPED_TRACE(c.payload);
        ASSERT_TRUE(bridge.Send(std::string(c.payload)));
        const Json answer = bridge.Receive();
        ASSERT_TRUE(answer.is_object()) << bridge.Errors();
        EXPECT_EQ(answer["ok"], false);
        EXPECT_EQ(answer["error"], c.error);
        EXPECT_EQ(answer["id"].is_null(), !c.hasId);
    }
    // None of them fixed the origin: the first hello does.
    Hello();
    bridge.origin = "https://other.example";
    EXPECT_EQ(ExpectError(bridge, "get", {{"object", plugin}, {"name", "count"}}),
              "refused: this connection belongs to https://pages.example:8443, not https://other.example");
    EXPECT_NE(ExpectError(bridge, "hello").find("refused"), std::string::npos);
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, BadRequestsGetErrorAnswersAndTheBridgeGoesOn) {
    Hello();
    const Json big = std::string(4 * 1024 * 1024 + 4, 'A');
    const struct {
        const char* op;
        Json fields;
        std::string error;
    } cases[] = {
        {"frobnicate", {}, "unknown op \"frobnicate\""},
        {"get", {{"name", "count"}}, "the message needs an integer \"object\""},
        {"get", {{"object", "1"}, {"name", "count"}}, "the message needs an integer \"object\""},
        {"get", {{"object", 999}, {"name", "count"}}, "no object 999"},
        {"get", {{"object", -1}, {"name", "count"}}, "no object -1"},
        {"get", {{"object", 1}}, "the message needs a string \"name\""},
        {"get", {{"object", 1}, {"name", 7}}, "the message needs a string \"name\""},
        {"set", {{"object", 1}, {"name", "count"}}, "the message needs a \"value\""},
        {"set",
         {{"object", 1}, {"name", "count"}, {"value", {1, 2}}},
         "setting property 'count': an array cannot be passed"},
        {"set",
         {{"object", 1}, {"name", "count"}, {"value", {{"a", 1}}}},
         "setting property 'count': an object other than {\"$object\": handle} or {\"$void\": true} cannot "
         "be passed"},
        {"set",
         {{"object", 1}, {"name", "count"}, {"value", {{"$object", 999}}}},
         "setting property 'count': no object 999"},
        {"set",
         {{"object", 1}, {"name", "nosuch"}, {"value", 1}},
         "a plug-in object has no property 'nosuch' to set"},
        {"set",
         {{"object", 1}, {"name", "readOnly"}, {"value", "x"}},
         "setting property 'readOnly' of a plug-in object failed"},
        {"set",
         {{"object", 1}, {"name", "flag"}, {"value", 1}},
         "setting property 'flag' of a plug-in object failed"},
        {"invoke", {{"object", 1}, {"name", "echo"}, {"args", "x"}}, "\"args\" must be an array"},
        {"invoke",
         {{"object", 1}, {"name", "echo"}, {"args", {{{"$object", 5}}}}},
         "calling method 'echo': argument 1: no object 5"},
        {"invoke", {{"object", 1}, {"name", "fail"}}, "calling method 'fail' of a plug-in object failed"},
        {"invoke", {{"object", 1}, {"name", "nosuch"}}, "calling method 'nosuch' of a plug-in object failed"},
        {"invoke", {{"object", 1}, {"name", "throwMessage"}, {"args", {"boom ü 😀"}}}, "boom ü 😀"},
        {"invoke", {{"object", 1}, {"name", "throwCpp"}}, "a fault inside the plug-in"},
        {"feed", {{"object", 1}, {"data", 5}}, "the message needs a string \"data\""},
        {"feed", {{"object", 1}, {"data", big}}, "a feed message holds at most 4 MiB of Base64 text"},
        {"feed",
         {{"object", 1}, {"data", "AAAA"}},
         "calling method 'feedBase64Data' of a plug-in object failed"},
        {"read", {{"object", 1}}, "calling method 'readStreamData' of a plug-in object failed"},
        {"read", {{"object", 1}, {"offset", -4}}, "\"offset\" must be a whole number of characters"},
        {"read", {{"object", 1}, {"offset", 4.5}}, "\"offset\" must be a whole number of characters"},
        {"read", {{"object", 1}, {"offset", "0"}}, "\"offset\" must be a whole number of characters"},
        {"read", {{"object", 1}, {"size", 0}}, "\"size\" must be a multiple of 4 from 4 to 786432"},
        {"read", {{"object", 1}, {"size", 6}}, "\"size\" must be a multiple of 4 from 4 to 786432"},
        {"read", {{"object", 1}, {"size", 786436}}, "\"size\" must be a multiple of 4 from 4 to 786432"},
        {"release", {{"object", 999}}, "no object 999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.op) + " " + c.fields.dump().substr(0, 200));
        EXPECT_EQ(ExpectError(bridge, c.op, c.fields), c.error);
    }
    // Long names come back cut short: an answer must stay small.
    const std::string longName = "é" + std::string(2 * 1024 * 1024, 'n');
    const std::string error = ExpectError(bridge, "invoke", {{"object", plugin}, {"name", longName}});
    EXPECT_EQ(error.substr(0, 19), "calling method 'én");
    EXPECT_LT(error.size(), 4096u);
    EXPECT_EQ(ExpectError(bridge, longName).substr(0, 12), "unknown op \"");
    // Still serving.
    EXPECT_EQ(Expect(bridge, "get", {{"object", plugin}, {"name", "readOnly"}}), "fixed");
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, ValuesKeepTheirTypesBothWays) {
    Hello();
    const struct {
        Json value;
        const char* seen;  // as the plug-in describes the variant
        Json back;         // what echo answers
    } cases[] = {
        {nullptr, "null", nullptr},
        {true, "bool:true", true},
        {false, "bool:false", false},
        {0, "int32:0", 0},
        {-2147483648LL, "int32:-2147483648", -2147483648LL},
        {2147483647, "int32:2147483647", 2147483647},
        {2147483648LL, "double:2147483648", 2147483648.0},
        {4294967296ULL, "double:4294967296", 4294967296.0},
        {1.5, "double:1.5", 1.5},
        {3.0, "double:3", 3.0},
        {"", "string", ""},
        {"Grüße, 世界 😀", "string", "Grüße, 世界 😀"},
        {std::string("a\0b", 3), "string", std::string("a\0b", 3)},
        {{{"$void", true}}, "void", {{"$void", true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.dump());
        EXPECT_EQ(Invoke("describe", {c.value}), c.seen);
        const Json back = Invoke("echo", {c.value});
        EXPECT_EQ(back, c.back);
        EXPECT_EQ(back.is_number_float(), c.back.is_number_float()) << "int32 and double stay apart";
    }
    EXPECT_EQ(Invoke("bytesHex", {"é😀"}), "c3a9f09f9880") << "strings reach the plug-in as UTF-8";
    EXPECT_EQ(Invoke("argCount", {1, "two", nullptr}), 3);
    EXPECT_EQ(Invoke("argCount"), 0) << "args may be left out";
    // A name the object has no property for reads as undefined, as in a page.
    EXPECT_EQ(Expect(bridge, "get", {{"object", plugin}, {"name", "nosuch"}}), (Json{{"$void", true}}));
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, ObjectsLiveByHandleAndEveryHandleIsItsOwn) {
    Hello();
    const Json child = Invoke("createChild");
    ASSERT_TRUE(child.is_object() && child["$object"].is_number_integer()) << child.dump();
    EXPECT_EQ(Expect(bridge, "set", {{"object", child["$object"]}, {"name", "count"}, {"value", 41}}), true);
    EXPECT_EQ(Expect(bridge, "set", {{"object", child["$object"]}, {"name", "name"}, {"value", "Kind"}}),
              true);
    EXPECT_EQ(Expect(bridge, "get", {{"object", child["$object"]}, {"name", "count"}}), 41);
    EXPECT_EQ(Invoke("classOf", {child}), "test");
    // The same object handed back comes under a new handle.
    const Json again = Invoke("echo", {child});
    ASSERT_TRUE(again.is_object());
    EXPECT_NE(again["$object"], child["$object"]);
    EXPECT_EQ(Invoke("refCount", {child}), 2) << "one reference per handle";
    EXPECT_EQ(Expect(bridge, "release", {{"object", child["$object"]}}), true);
    EXPECT_EQ(Expect(bridge, "get", {{"object", again["$object"]}, {"name", "name"}}), "Kind");
    EXPECT_EQ(ExpectError(bridge, "get", {{"object", child["$object"]}, {"name", "name"}}),
              "no object " + child["$object"].dump());
    EXPECT_EQ(ExpectError(bridge, "release", {{"object", child["$object"]}}),
              "no object " + child["$object"].dump());
    EXPECT_EQ(Invoke("returnNullObject"), nullptr);
    // Handles the page never gave back go at the end (checked there).
    Invoke("createChild");
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, ThePluginSeesTheOriginAsTheWindowsLocation) {
    Hello();
    EXPECT_EQ(Invoke("locationHref"), "https://pages.example:8443");
    EXPECT_EQ(Invoke("userAgent"), "pendrel-bridge/1.2.27");
    // The page runs no script the plug-in could evaluate.
    EXPECT_EQ(ExpectError(bridge, "invoke", {{"object", plugin}, {"name", "evaluate"}, {"args", {"1 + 1"}}}),
              "calling method 'evaluate' of a plug-in object failed");
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, WhatThePluginPrintsNeverReachesTheChannel) {
    Hello();
    EXPECT_EQ(Invoke("printToStdout"), true);
    EXPECT_EQ(Expect(bridge, "get", {{"object", plugin}, {"name", "readOnly"}}), "fixed");
    EXPECT_NE(bridge.Errors().find("chatter on standard output"), std::string::npos);
    ExpectCleanEnd();
}

TEST_F(BridgeProtocolTest, CancelWithoutAWindowAndASecondHelloAnswerTrue) {
    Hello();
    EXPECT_EQ(Expect(bridge, "cancel"), true);
    const Json second = Expect(bridge, "hello");
    EXPECT_NE(second["plugin"]["$object"], plugin) << "a new handle for the same object";
    EXPECT_EQ(Expect(bridge, "get", {{"object", second["plugin"]["$object"]}, {"name", "readOnly"}}),
              "fixed");
    ExpectCleanEnd();
}

TEST(BridgeStart, APluginThatCannotBeLoadedIsReportedToThePage) {
    const TestSupport::TempDir dir;
    BridgeProcess bridge({PENDREL_BRIDGE_PROGRAM, "--plugin", dir.File("missing.so")}, dir.File("err.txt"));
    const std::string error = ExpectError(bridge, "hello");
    EXPECT_NE(error.find("the plug-in cannot be used: cannot load " + dir.File("missing.so")),
              std::string::npos)
        << error;
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(), 0);
}

}  // namespace
