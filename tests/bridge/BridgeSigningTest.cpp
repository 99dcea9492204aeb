// The whole road of a page without a browser: pendrel-bridge with the real
// plug-in signs a document fed in pieces with a keychain identity, hands the
// signed copy back in gathered pieces, verifies it, and leaves nothing in
// the temporary folder when the port closes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "common/Base64Stream.h"
#include "support/NssDb.h"
#include "support/Process.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/TestPKI.h"
#include "support/ThirdPartyTools.h"
#include "tests/bridge/BridgeProcess.h"

namespace {

using BridgeTest::BridgeProcess;
using BridgeTest::Expect;
using Json = nlohmann::json;
using TestSupport::ReadFile;
using TestSupport::ScopedEnv;

std::string Base64(const std::string& bytes) {
    Util::Base64Encoder encoder;
    std::string text;
    encoder.Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), text);
    encoder.Finish(text);
    std::string plain;
    for (const char c : text)
        if (c != '\n' && c != '\r') plain += c;
    return plain;
}

std::string Decode(const std::string& text) {
    Util::Base64Decoder decoder;
    std::vector<unsigned char> bytes;
    decoder.Decode(text.data(), text.size(), bytes);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<std::string> WorkingFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    return names;
}

class BridgeSigningTest : public testing::Test {
protected:
    void SetUp() override {
        ::mkdir(dir.File("tmp").c_str(), 0700);
        // A document of some MB, so that the signed copy comes in several answers.
        ASSERT_EQ(
            TestSupport::RunProgram({"python3", PENDREL_SOURCE_DIR "/bench/make-pdf.py", "2", dir.Path()}),
            0);
        const Json hello = Expect(bridge, "hello");
        plugin = hello["plugin"];
        EXPECT_EQ(hello["version"], "1.2.27");
    }

    // The arguments as a list: one JSON argument in braces is never taken for the array itself.
    Json Invoke(const Json& object, const std::string& name, std::vector<Json> args = {}) {
        return Expect(bridge, "invoke",
                      {{"object", object["$object"]}, {"name", name}, {"args", Json(args)}});
    }
    Json Get(const Json& object, const std::string& name) {
        return Expect(bridge, "get", {{"object", object["$object"]}, {"name", name}});
    }
    void Set(const Json& object, const std::string& name, const Json& value) {
        EXPECT_EQ(Expect(bridge, "set", {{"object", object["$object"]}, {"name", name}, {"value", value}}),
                  true);
    }

    // A request with `bytes` fed in pieces of `piece` characters (whole groups).
    Json FedRequest(const std::string& bytes, std::size_t piece) {
        const Json request = Invoke(plugin, "createPropObject");
        const std::string text = Base64(bytes);
        for (std::size_t at = 0; at < text.size(); at += piece)
            Expect(bridge, "feed", {{"object", request["$object"]}, {"data", text.substr(at, piece)}});
        Expect(bridge, "feed", {{"object", request["$object"]}, {"data", ""}});
        return request;
    }

    // The result's signed copy, read until done; every answer stays under
    // the browser's limit and decodes by itself.
    std::string ReadAll(const Json& result, int& answers) {
        std::string bytes;
        answers = 0;
        for (bool done = false; !done && answers < 10000; ++answers) {
            const Json request = bridge.Request("read", {{"object", result["$object"]}});
            bridge.Send(request);
            std::string payload;
            EXPECT_TRUE(bridge.ReceiveRaw(payload));
            EXPECT_LT(payload.size(), 1024u * 1024u);
            const Json answer = Json::parse(payload, nullptr, false);
            EXPECT_EQ(answer["id"], request["id"]);
            if (!answer.value("ok", false)) {
                ADD_FAILURE() << answer.dump();
                break;
            }
            const std::string& data = answer["value"]["data"].get_ref<const std::string&>();
            EXPECT_LE(data.size(), 768u * 1024u);
            EXPECT_EQ(data.size() % 4, 0u);
            EXPECT_EQ(
                data.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                std::string::npos);
            bytes += Decode(data);
            done = answer["value"]["done"];
        }
        return bytes;
    }

    // The answer to a read of `size` characters from `offset`.
    Json SendRead(const Json& result, std::uint64_t offset, std::size_t size) {
        const Json request =
            bridge.Request("read", {{"object", result["$object"]}, {"offset", offset}, {"size", size}});
        bridge.Send(request);
        return request;
    }

    // The copy's Base64 text read as the page reads it: `ahead` reads of
    // `size` characters under way at once, each at the offset where its
    // piece starts, until one answers done; the reads sent past the end
    // answer nothing more.
    std::string ReadAhead(const Json& result, std::size_t size, int ahead) {
        std::deque<Json> sent;
        std::uint64_t next = 0;
        std::string text;
        for (;;) {
            while (static_cast<int>(sent.size()) < ahead) {
                sent.push_back(SendRead(result, next, size));
                next += size;
            }
            const Json answer = bridge.Receive();
            EXPECT_EQ(answer["id"], sent.front()["id"]) << "answers come in the order of the reads";
            sent.pop_front();
            if (!answer.value("ok", false)) {
                ADD_FAILURE() << answer.dump().substr(0, 300);
                return text;
            }
            const std::string& data = answer["value"]["data"].get_ref<const std::string&>();
            const bool done = answer["value"]["done"];
            if (!done) {
                EXPECT_EQ(data.size(), size) << "at " << text.size();
            }
            text += data;
            if (done) break;
        }
        for (; !sent.empty(); sent.pop_front()) {
            const Json answer = bridge.Receive();
            EXPECT_EQ(answer["id"], sent.front()["id"]);
            EXPECT_EQ(answer["value"], (Json{{"data", ""}, {"done", true}})) << "a read past the end";
        }
        return text;
    }

    // A result of signing `document` (fed in pieces of 1 MiB of text).
    Json Signed(const std::string& document) {
        const Json request = FedRequest(document, 1024 * 1024);
        EXPECT_EQ(Get(request, "pages"), 1);
        const Json info = Invoke(plugin, "createCertInfoObject");
        Set(info, "subject", "Pendrel Test Signer");
        EXPECT_EQ(Invoke(info, "search"), true) << bridge.Errors();
        Set(request, "certificate", info);
        Set(request, "sigId", "BridgeSignature");
        Set(request, "reason", "Über die Brücke");
        const Json result = Invoke(plugin, "sign", {request});
        EXPECT_TRUE(result.is_object()) << result.dump();
        EXPECT_EQ(Get(result, "error"), 1) << bridge.Errors();
        return result;
    }

    const TestSupport::TestPKI& pki = TestSupport::TestPKI::Shared();
    TestSupport::TempDir dir;
    const ScopedEnv keychain{"PENDREL_KEYCHAIN", pki.Keychain().c_str()};
    const ScopedEnv noWindows{"PENDREL_DIALOGS", "none"};
    const ScopedEnv tmp{"TMPDIR", dir.File("tmp").c_str()};
    const ScopedEnv home{"HOME", dir.Path().c_str()};
    // Without a display a web page signs only from an origin the user allowed.
    const ScopedEnv allowed{"PENDREL_ALLOWED_ORIGINS", "https://pages.example:8443"};
    BridgeProcess bridge{{PENDREL_BRIDGE_PROGRAM, "--plugin", PENDREL_PLUGIN_LIBRARY},
                         dir.File("stderr.txt")};
    Json plugin;
};

TEST_F(BridgeSigningTest, SignsAFedDocumentReadsItBackAndVerifiesIt) {
    const std::string document = ReadFile(dir.File("doc.pdf"));
    const Json result = Signed(document);
    ASSERT_TRUE(result.is_object());
    EXPECT_FALSE(WorkingFiles(dir.File("tmp")).empty()) << "the working copies lie in TMPDIR meanwhile";

    int answers = 0;
    const std::string signedCopy = ReadAll(result, answers);
    EXPECT_GT(answers, 2) << "a 2 MB copy takes several answers";
    ASSERT_GT(signedCopy.size(), document.size());
    EXPECT_EQ(signedCopy.compare(0, document.size(), document), 0) << "the update is appended";
    TestSupport::WriteFile(dir.File("signed.pdf"), signedCopy);
    TestSupport::ExpectAcceptedByOthers(dir.File("signed.pdf"), TestSupport::MakeNssDb(dir), 1);
    // Read again, the copy starts from its first byte.
    EXPECT_EQ(ReadAll(result, answers), signedCopy);

    // The signed copy fed back in odd pieces (whole groups but the last) verifies.
    const Json check = FedRequest(signedCopy, 4 * 1024 * 1024 - 4);
    const Json verified = Invoke(plugin, "verify", {check});
    ASSERT_EQ(Get(verified, "error"), 1) << bridge.Errors();
    const Json list = Get(verified, "signatures");
    EXPECT_EQ(Get(list, "sigCount"), 1);
    Invoke(list, "loadSignature", {0});
    EXPECT_EQ(Get(list, "sigId"), "BridgeSignature");
    EXPECT_EQ(Get(list, "reason"), "Über die Brücke");
    const std::string status = Get(list, "status");
    ASSERT_EQ(status.size(), 4u);
    EXPECT_EQ(status[2], '1') << status;

    // The page closes: every object goes, and its working files with it.
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(), 0) << bridge.Errors();
    EXPECT_EQ(WorkingFiles(dir.File("tmp")), std::vector<std::string>{});
}

TEST_F(BridgeSigningTest, ReadsSentAheadGetTheirOwnPiecesInOrderAndTheCopyCanBeReadAgain) {
    const std::string document = ReadFile(dir.File("doc.pdf"));
    const Json result = Signed(document);
    ASSERT_TRUE(result.is_object());
    int answers = 0;
    const std::string copy = ReadAll(result, answers);
    ASSERT_GT(copy.size(), document.size());
    const std::string text = Base64(copy);

    // Pieces that split the plug-in's own ones anywhere, four reads under way.
    EXPECT_EQ(ReadAhead(result, 64 * 1024, 4), text);
    // Read again at once, and with the largest pieces.
    EXPECT_EQ(ReadAhead(result, 768 * 1024, 3), text);

    // Reads go in order: a piece that does not start where the last one ended is refused.
    const std::size_t size = 4096;
    EXPECT_EQ(Expect(bridge, "read", {{"object", result["$object"]}, {"offset", 0}, {"size", size}})["data"],
              text.substr(0, size));
    EXPECT_EQ(
        ExpectError(bridge, "read", {{"object", result["$object"]}, {"offset", 3 * size}, {"size", size}}),
        "the signed document is read in order: the next piece starts at character 4096, not 12288");
    EXPECT_EQ(
        Expect(bridge, "read", {{"object", result["$object"]}, {"offset", size}, {"size", size}})["data"],
        text.substr(size, size));
    // Offset 0 in the middle starts again from the first character.
    EXPECT_EQ(ReadAhead(result, 12 * 1024, 2), text);
    // Without offsets, after a read that came to the end, the copy comes again from its start.
    EXPECT_EQ(ReadAll(result, answers), copy);

    // A released result forgets how far it was read.
    EXPECT_EQ(Expect(bridge, "release", {{"object", result["$object"]}}), true);
    EXPECT_EQ(ExpectError(bridge, "read", {{"object", result["$object"]}, {"offset", 0}}),
              "no object " + result["$object"].dump());
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(), 0) << bridge.Errors();
    EXPECT_EQ(WorkingFiles(dir.File("tmp")), std::vector<std::string>{});
}

TEST_F(BridgeSigningTest, APortClosedInTheMiddleOfAFeedLeavesNoWorkingFile) {
    const Json request = Invoke(plugin, "createPropObject");
    const std::string text = Base64(ReadFile(dir.File("doc.pdf")));
    Expect(bridge, "feed", {{"object", request["$object"]}, {"data", text.substr(0, 1024 * 1024)}});
    EXPECT_EQ(WorkingFiles(dir.File("tmp")).size(), 1u);
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(), 0) << bridge.Errors();
    EXPECT_EQ(WorkingFiles(dir.File("tmp")), std::vector<std::string>{});
}

TEST_F(BridgeSigningTest, RefusalsOfThePluginReachThePageAsValues) {
    // No document: the sign operation answers a result with its code.
    const Json request = Invoke(plugin, "createPropObject");
    const Json info = Invoke(plugin, "createCertInfoObject");
    Set(info, "subject", "Nobody At All");
    EXPECT_EQ(Invoke(info, "search"), false);
    const Json result = Invoke(plugin, "sign", {request});
    ASSERT_TRUE(result.is_object()) << result.dump();
    EXPECT_NE(Get(result, "error"), 1);
    bridge.CloseInput();
    EXPECT_EQ(bridge.Wait(), 0) << bridge.Errors();
}

}  // namespace
