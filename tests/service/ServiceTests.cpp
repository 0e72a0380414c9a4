#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "Improver.h"
#include "Service.h"

namespace quillberry::service {
namespace {

struct PromptCase { std::string name, prompt; Language language; std::string formatHint; };
class Builtin : public ::testing::TestWithParam<PromptCase> {};

TEST_P(Builtin, KeepsTheRequestWholeAndAddsTheStructure) {
    const PromptCase& c = GetParam();
    EXPECT_EQ(detectLanguage(c.prompt), c.language);
    std::string out = BuiltinImprover().improve("  " + c.prompt + "\n").value();
    EXPECT_NE(out.find("\"\"\"\n" + c.prompt + "\n\"\"\""), std::string::npos) << "the request, verbatim";
    const bool fr = c.language == Language::French;
    for (const char* part : fr ? std::vector<const char*>{"Rôle :", "Contexte :", "Tâche :", "Contraintes :",
                                                         "Format attendu :", "pose-moi d'abord tes questions"}
                               : std::vector<const char*>{"Role:", "Context:", "Task:", "Constraints:",
                                                          "Expected output:", "ask me your questions first"}) {
        EXPECT_NE(out.find(part), std::string::npos) << part;
    }
    EXPECT_NE(out.find(c.formatHint), std::string::npos) << out;
    EXPECT_EQ(BuiltinImprover().improve(c.prompt), out) << "deterministic";
}

const PromptCase PROMPTS[] = {
    {"FrenchMail", "écris un mail à mon manager pour demander un jour de congé vendredi", Language::French, "objet"},
    {"FrenchSummary", "résume cet article en 5 points : « La ville de Lyon a voté… »", Language::French,
     "points clés"},
    {"EnglishMail", "write an email to my landlord about the broken heater", Language::English, "subject line"},
    {"EnglishCode", "fix this bug in my javascript: const x = [1,2,3].map(i => i*2", Language::English,
     "code block"},
};
INSTANTIATE_TEST_SUITE_P(Table, Builtin, ::testing::ValuesIn(PROMPTS), [](const auto& p) { return p.param.name; });

TEST(Builtin, BlankRequestStaysBlank) { EXPECT_EQ(BuiltinImprover().improve(" \n\t"), ""); }

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
    httplib::Result res = c.method == "POST" ? client.Post(c.path, c.body, c.contentType.c_str())
                          : c.method == "GET" ? client.Get(c.path)
                                              : client.Delete(c.path);
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
    {"NotAnObject", "POST", "/improve", "application/json", "[1]", 400},
    {"MissingEmail", "POST", "/improve", "application/json", R"({"prompt":"x"})", 400},
    {"WrongType", "POST", "/improve", "text/plain", OK, 415},
    {"TooLarge", "POST", "/improve", "application/json",
     R"({"prompt":")" + std::string(MAX_REQUEST_BYTES, 'x') + R"(","email":"e"})", 413},
    {"Get", "GET", "/improve", "", "", 405},
    {"Delete", "DELETE", "/improve", "", "", 405},
    {"OtherPath", "POST", "/other", "application/json", OK, 404},
};
INSTANTIATE_TEST_SUITE_P(Table, Requests, ::testing::ValuesIn(REQUESTS), [](const auto& p) { return p.param.name; });

TEST(Upstream, ForwardsToAChatCompletionsEndpointAndReportsItsFailures) {
    httplib::Server fake;
    nlohmann::json seen;
    std::string auth;
    fake.Post("/v1/chat/completions", [&](const httplib::Request& req, httplib::Response& res) {
        seen = nlohmann::json::parse(req.body);
        auth = req.get_header_value("Authorization");
        std::string user = seen["messages"][1]["content"];
        if (user == "fail") return void(res.status = 500);
        if (user == "garbage") return res.set_content("{\"choices\":[]}", "application/json");
        res.set_content(nlohmann::json{{"choices", {{{"message", {{"role", "assistant"}, {"content", "Better: " + user}}}}}}}.dump(),
                        "application/json");
    });
    int port = fake.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { fake.listen_after_bind(); });
    while (!fake.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));

    UpstreamImprover improver({"http://127.0.0.1:" + std::to_string(port) + "/v1", "local-model", "k3y",
                               std::chrono::seconds(5)});
    EXPECT_EQ(improver.improve("draft"), "Better: draft");
    EXPECT_EQ(seen["model"], "local-model");
    EXPECT_EQ(seen["messages"][0]["role"], "system");
    EXPECT_EQ(seen["messages"][0]["content"], UPSTREAM_SYSTEM_PROMPT);
    EXPECT_EQ(auth, "Bearer k3y");
    EXPECT_EQ(improver.improve("fail"), std::nullopt);
    EXPECT_EQ(improver.improve("garbage"), std::nullopt);

    {
        Running service(improver);
        auto res = service.client().Post("/improve", R"({"prompt":"fail","email":"e"})", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 502);
    }
    fake.stop();
    thread.join();
    EXPECT_EQ(improver.improve("anything"), std::nullopt) << "upstream gone";
}

}  // namespace
}  // namespace quillberry::service
