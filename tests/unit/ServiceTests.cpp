#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "service/ServiceClient.h"

namespace quillberry::fake {
namespace {

// What goes out for a text: its JSON with the e-mail, both unchanged; no body for invalid UTF-8,
// which the service then refuses; nothing at all for a text over the service's limit, plain or
// once escaped, refused before the machine is touched (no platform here).
struct BodyCase {
    std::string name, text;
    bool sent, encoded;
};
class RequestBody : public ::testing::TestWithParam<BodyCase> {};

TEST_P(RequestBody, CarriesTheTextAndEmailUnchangedOrFailsTheRunOnce) {
    const BodyCase& c = GetParam();
    if (!c.sent) {
        std::vector<std::optional<std::string>> results;
        callServer(c.text, "a@b", [&](std::optional<std::string> r) { results.push_back(r); });
        EXPECT_EQ(results, std::vector<std::optional<std::string>>{std::nullopt});
        return;
    }
    const std::optional<std::string> body = buildImproveRequest(c.text, " Me@Example.com\n").body;
    const nlohmann::json expected = {{"prompt", c.text}, {"email", " Me@Example.com\n"}};
    EXPECT_EQ(body ? nlohmann::json::parse(*body) : nullptr, c.encoded ? expected : nullptr);
}
const BodyCase BODIES[] = {
    {"ControlsQuotesAndNul", std::string(" \" \\ \x01\x1f\t\r\n and NUL \0 inside", 27), true, true},
    {"AccentsAndEmoji", "accents éàçÆ emoji \xF0\x9F\x9A\x80", true, true},
    {"Empty", "", true, true},
    {"InvalidUtf8", "bad \xC3\x28 bytes", true, false},
    {"OverTheLimit", std::string(MAX_REQUEST_BYTES + 1, 'a'), false, false},
    {"OverTheLimitOnceEscaped", std::string(MAX_REQUEST_BYTES / 2, '"'), false, false},
};
INSTANTIATE_TEST_SUITE_P(Table, RequestBody, ::testing::ValuesIn(BODIES), [](const auto& c) { return c.param.name; });

struct ReplyCase {
    std::string name;
    std::optional<int> status;  // absent: not an HTTP response
    std::optional<std::string> body;
    std::optional<std::string> expected;
    bool transportError = false;
};
class Reply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(Reply, IsInterpretedByTheProtocolRules) {
    const ReplyCase& c = GetParam();
    EXPECT_EQ(interpretReply(HttpResponse{c.transportError, c.status, c.body}), c.expected);
}

std::string nested(int depth) {
    return R"({"improved_prompt":"x","deep":)" + std::string(size_t(depth - 1), '[') +
           std::string(size_t(depth - 1), ']') + "}";
}

const ReplyCase REPLIES[] = {
    {"Plain", 200, R"({"improved_prompt":"x"})", "x"},
    {"EmptyStringIsSuccess", 200, R"({"improved_prompt":""})", ""},
    {"Escapes", 200, R"({"improved_prompt":"a\"b\\c\n\u00e9\ud83d\ude80"})", "a\"b\\c\n\xC3\xA9\xF0\x9F\x9A\x80"},
    {"EscapedNul", 200, R"({"improved_prompt":"a\u0000b"})", std::nullopt},
    {"DuplicateKeyLastWins", 200, R"({"improved_prompt":"first","improved_prompt":"last"})", "last"},
    {"ExtraMembersIgnored", 200, R"({"id":7,"improved_prompt":" kept  ","meta":{"a":[1]}})", " kept  "},
    {"DepthAtLimit", 200, nested(512), "x"},
    {"EmptyBody", 200, "", std::nullopt},
    {"Array", 200, R"([{"improved_prompt":"x"}])", std::nullopt},
    {"MissingKey", 200, R"({"prompt":"x"})", std::nullopt},
    {"NonStringValue", 200, R"({"improved_prompt":null})", std::nullopt},
    {"TrailingGarbage", 200, R"({"improved_prompt":"x"} junk)", std::nullopt},
    {"NulThenJunk", 200, std::string("{\"improved_prompt\":\"x\"}\0junk", 28), std::nullopt},
    {"RawNulInString", 200, std::string("{\"improved_prompt\":\"a\0b\"}", 25), std::nullopt},
    {"TooDeep", 200, nested(513), std::nullopt},
    {"MillionOpenBrackets", 200, "{\"improved_prompt\":" + std::string(1'000'000, '['), std::nullopt},
    {"LoneSurrogate", 200, R"({"improved_prompt":"\ud800"})", std::nullopt},
    {"InvalidUtf8", 200, "{\"improved_prompt\":\"\xC3\x28\"}", std::nullopt},
    {"Status201", 201, R"({"improved_prompt":"x"})", std::nullopt},
    {"Status500", 500, R"({"improved_prompt":"x"})", std::nullopt},
    {"TransportError", 200, R"({"improved_prompt":"x"})", std::nullopt, true},
    {"NoStatus", std::nullopt, R"({"improved_prompt":"x"})", std::nullopt},
    {"NoBodyData", 200, std::nullopt, std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Table, Reply, ::testing::ValuesIn(REPLIES), [](const auto& c) { return c.param.name; });

// Only a service on this machine can be said to be "not running" and started by the user.
class LocalService : public ::testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(LocalService, IsALoopbackAddressOrLocalhost) { EXPECT_EQ(serviceIsLocal(GetParam().first), GetParam().second); }
INSTANTIATE_TEST_SUITE_P(Table, LocalService,
                         ::testing::Values(std::pair{"http://127.0.0.1:8787", true},
                                           std::pair{"http://127.9.8.7", true}, std::pair{"http://localhost:1", true},
                                           std::pair{"http://[::1]:8787", true},
                                           std::pair{"https://127.0.0.1.example.com", false},
                                           std::pair{"https://api.example.com/x?h=127.0.0.1", false},
                                           std::pair{"https://[::2]", false}, std::pair{"127.0.0.1", false}));

}  // namespace
}  // namespace quillberry::fake
