#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "Improver.h"
#include "Service.h"

namespace quillberry::service {
namespace {

struct PromptCase { std::string prompt; Language language; };
class Builtin : public ::testing::TestWithParam<PromptCase> {};

TEST_P(Builtin, KeepsTheRequestWholeInItsLanguageAndAnswersAlikeEveryTime) {
    EXPECT_EQ(detectLanguage(GetParam().prompt), GetParam().language);
    std::string out = BuiltinImprover().improve("  " + GetParam().prompt + "\n").value();
    EXPECT_NE(out.find("\"\"\"\n" + GetParam().prompt + "\n\"\"\""), std::string::npos) << "the request, verbatim";
    EXPECT_EQ(BuiltinImprover().improve(GetParam().prompt), out);
    EXPECT_EQ(BuiltinImprover().improve(" \n\t"), "");
}
INSTANTIATE_TEST_SUITE_P(Prompts, Builtin,
                         ::testing::Values(PromptCase{"écris un mail à mon manager pour un congé", Language::French},
                                           PromptCase{"résume cet article : « Lyon a voté… »", Language::French},
                                           PromptCase{"fix this bug: const x = [1,2,3].map(i => i*2", Language::English}));

// A running service on a free loopback port with the given improver.
struct Running {
    explicit Running(Improver& improver) {
        installRoutes(server, improver);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Running() {
        server.stop();
        thread.join();
    }
    httplib::Client client() { return httplib::Client("127.0.0.1", port); }
    httplib::Server server;
    int port = 0;
    std::thread thread;
};

struct RequestCase { std::string name, method, path, contentType, body; int status; };
class Requests : public ::testing::TestWithParam<RequestCase> {};

TEST_P(Requests, GetTheRightStatusAndAJsonAnswer) {
    BuiltinImprover improver;
    Running service(improver);
    const RequestCase& c = GetParam();
    auto client = service.client();
    httplib::Result res = c.method == "POST" ? client.Post(c.path, c.body, c.contentType.c_str()) : client.Get(c.path);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, c.status);
    auto body = nlohmann::json::parse(res->body, nullptr, false);
    ASSERT_TRUE(body.is_object()) << res->body;
    EXPECT_TRUE(c.status == 200 ? body["improved_prompt"].is_string() : body["error"].is_string()) << res->body;
    EXPECT_EQ(res->body.find("secret@example.com"), std::string::npos) << "the address is never echoed";
}

const std::string OK = R"({"prompt":"écris un mail","email":"secret@example.com"})";
const RequestCase REQUESTS[] = {
    {"Valid", "POST", "/improve", "application/json", OK, 200},
    {"MalformedJson", "POST", "/improve", "application/json", "{\"prompt\":", 400},
    {"MissingEmail", "POST", "/improve", "application/json", R"({"prompt":"x"})", 400},
    {"WrongType", "POST", "/improve", "text/plain", OK, 415},
    {"TooLarge", "POST", "/improve", "application/json",
     R"({"prompt":")" + std::string(MAX_REQUEST_BYTES, 'x') + R"(","email":"e"})", 413},
    {"Get", "GET", "/improve", "", "", 405},
    {"OtherPath", "POST", "/other", "application/json", OK, 404},
};
INSTANTIATE_TEST_SUITE_P(Table, Requests, ::testing::ValuesIn(REQUESTS), [](const auto& p) { return p.param.name; });

TEST(Upstream, ForwardsWithTheKeyAndAFailureUpstreamIsA502) {
    httplib::Server fake;
    nlohmann::json seen;
    std::string auth;
    fake.Post("/v1/chat/completions", [&](const httplib::Request& req, httplib::Response& res) {
        seen = nlohmann::json::parse(req.body);
        auth = req.get_header_value("Authorization");
        std::string user = seen["messages"][1]["content"];
        if (user == "fail") return void(res.status = 500);
        res.set_content(nlohmann::json{{"choices", {{{"message", {{"content", "Better: " + user}}}}}}}.dump(), "application/json");
    });
    int port = fake.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { fake.listen_after_bind(); });
    UpstreamImprover improver({"http://127.0.0.1:" + std::to_string(port) + "/v1", "local-model", "k3y", std::chrono::seconds(5)});
    EXPECT_EQ(improver.improve("draft"), "Better: draft");
    EXPECT_EQ(seen["model"], "local-model");
    EXPECT_EQ(auth, "Bearer k3y");
    Running service(improver);
    auto res = service.client().Post("/improve", R"({"prompt":"fail","email":"e"})", "application/json");
    EXPECT_EQ(res->status, 502);
    fake.stop();
    thread.join();
}

}  // namespace
}  // namespace quillberry::service
