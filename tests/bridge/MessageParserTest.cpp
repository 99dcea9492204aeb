#include <gtest/gtest.h>

#include <string>

#include "bridge/MessageParser.h"

namespace {

using Json = nlohmann::json;

// The fast way must read every message exactly as the JSON parser does:
// the same value, or a refusal of the same texts.
TEST(MessageParser, LargeMessagesReadAsTheJsonParserReadsThem) {
    const std::string b64(MessageParser::kLargeMessage + 10, 'A');
    const std::string body = "\"" + b64 + "\"";
    const std::string cases[] = {
        // valid: "data" first, last, among nested values, spaced out
        "{\"data\":" + body + ",\"id\":1,\"op\":\"feed\",\"origin\":\"https://a\",\"object\":2}",
        "{\"id\":1,\"op\":\"feed\",\"object\":2,\"data\":" + body + "}",
        " {\n \"id\" : 1 , \"x\" : {\"data\": \"no\", \"y\": [1, {\"data\": 2}]}, \"data\" :\t" + body +
            " } ",
        "{\"name\":\"\\\"data\\\":\\\"\",\"data\":" + body + "}",
        "{\"s\":\"a\\\\\",\"data\":" + body + "}",
        "{\"data\":\"" + b64 + "+/==\",\"dat\":\"" + b64 + "\"}",
        // the data string needs the parser: escapes, non-ASCII, a later duplicate
        "{\"data\":\"" + b64 + "\\u0041\"}",
        "{\"data\":\"" + b64 + "é\"}",
        "{\"data\":" + body + ",\"data\":\"B\"}",
        "{\"data\":" + body + ",\"data\":\"\"}",
        "{\"data\":\"\",\"data\":" + body + "}",
        "{\"big\":" + body + ",\"data\":\"short\"}",
        "{\"data\":5,\"pad\":" + body + "}",
        // not JSON, or not an object, however it is cut
        "{\"data\":" + body,
        "{\"data\":" + body + ",}",
        "{\"data\":" + body + "} trailing",
        "{\"data\":\"" + b64 + "\n\"}",
        "{\"data\":\"" + b64 + "\x01\"}",
        "{\"data\"" + body + "}",
        "{\"id\":1 \"data\":" + body + "}",
        "[\"data\"," + body + "]",
        body,
        "{\"data\":" + body + ",\"bad\":\"\xff\"}",
        "{\"a\":[1,2,{\"b\":\"}\"}],\"data\":" + body + ",\"c\":tru}",
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.size() > 200 ? text.substr(0, 80) + "..." + text.substr(text.size() - 80) : text);
        const Json fast = MessageParser::Parse(text);
        const Json full = Json::parse(text, nullptr, false);
        ASSERT_EQ(fast.is_discarded(), full.is_discarded());
        if (!full.is_discarded()) {
            EXPECT_TRUE(fast == full) << "the values differ";
        }
    }
}

TEST(MessageParser, SmallMessagesGoToTheParserAsTheyAre) {
    EXPECT_EQ(MessageParser::Parse("{\"data\":\"QUJD\",\"id\":3}"), (Json{{"data", "QUJD"}, {"id", 3}}));
    EXPECT_TRUE(MessageParser::Parse("{\"data\":\"QUJD\"").is_discarded());
    EXPECT_TRUE(MessageParser::Parse("").is_discarded());
}

}  // namespace
