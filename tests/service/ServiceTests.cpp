#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstring>
#include <thread>

#include "Improver.h"
#include "Service.h"

namespace quillberry::service {
namespace {

struct PromptCase {
    std::string prompt;
    Language language;
};
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
                                           PromptCase{"fix this bug: const x = [1,2,3].map(i => i*2",
                                                      Language::English}));

// An httplib server on a free loopback port, set up by `routes`, running until it goes.
struct Serving {
    explicit Serving(const std::function<void(httplib::Server&)>& routes) {
        routes(server);
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
        while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ~Serving() {
        server.stop();
        thread.join();
    }
    httplib::Client client() { return httplib::Client("127.0.0.1", port); }
    std::string url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(port) + path; }
    httplib::Server server;
    int port = 0;
    std::thread thread;
};

// The service itself, with the given improver.
struct Running : Serving {
    explicit Running(Improver& improver) : Serving([&](httplib::Server& s) { installRoutes(s, improver); }) {}
};

struct RequestCase {
    std::string name, method, path, contentType, body;
    int status;
};
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
    {"NestedTooDeep", "POST", "/improve", "application/json", std::string(MAX_REQUEST_BYTES, '['), 400},
};
INSTANTIATE_TEST_SUITE_P(Table, Requests, ::testing::ValuesIn(REQUESTS), [](const auto& p) { return p.param.name; });

// A connection to the service that has sent `bytes`, with a 3 s limit on reading.
int connectTo(int port, const std::string& bytes) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    timeval limit{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return fd;
}

// Sends raw bytes and returns the answer's status, or 0 when none came within 3 s.
int rawStatus(int port, const std::string& request) {
    int fd = connectTo(port, request);
    char answer[64] = {};
    ::recv(fd, answer, sizeof answer - 1, 0);
    ::close(fd);
    return std::strncmp(answer, "HTTP/1.1 ", 9) == 0 ? std::atoi(answer + 9) : 0;
}

TEST(Limits, BodiesThatCannotBeBoundedAreRefusedBeforeTheyAreRead) {
    BuiltinImprover improver;
    Running service(improver);
    const std::string head = "POST /improve HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\n";
    // 3 MB announced in one chunk and never sent: a service that read it would wait.
    EXPECT_EQ(rawStatus(service.port, head + "Transfer-Encoding: chunked\r\n\r\n2DC6C0\r\n"), 411);
    EXPECT_EQ(rawStatus(service.port, head + "\r\n{\"prompt\":\"x\",\"email\":\"e\"}"), 411);
    EXPECT_EQ(rawStatus(service.port, head + "Content-Encoding: gzip\r\nContent-Length: 900\r\n\r\n"), 415);
}

TEST(Limits, SixtyFourClientsTricklingHeadersLeaveRoomForOthers) {
    BuiltinImprover improver;
    Running service(improver);
    std::vector<int> slow;
    for (int i = 0; i < 64; ++i) slow.push_back(connectTo(service.port, "POST /improve HTTP/1.1\r\nHo"));
    auto client = service.client();
    client.set_read_timeout(std::chrono::seconds(5));  // a bound for the test, not a measure
    auto res = client.Post("/improve", OK, "application/json");
    for (int fd : slow) ::close(fd);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
}

TEST(Upstream, ForwardsWithTheKeyAndAFailureUpstreamIsA502) {
    nlohmann::json seen;
    std::string auth;
    std::atomic<int> elsewhereHits{0};
    Serving elsewhere([&](httplib::Server& s) { s.Post(".*", [&](const auto&, auto&) { ++elsewhereHits; }); });
    Serving upstream([&](httplib::Server& s) {
        s.Post("/v1/chat/completions", [&](const httplib::Request& req, httplib::Response& res) {
            seen = nlohmann::json::parse(req.body);
            auth = req.get_header_value("Authorization");
            std::string user = seen["messages"][1]["content"];
            if (user == "fail") return void(res.status = 500);
            if (user == "moved") return res.set_redirect(elsewhere.url("/v1/chat/completions"), 307);
            res.set_content(nlohmann::json{{"choices", {{{"message", {{"content", "Better: " + user}}}}}}}.dump(),
                            "application/json");
        });
    });
    UpstreamImprover improver({upstream.url("/v1"), "local-model", "k3y", std::chrono::seconds(5)});
    EXPECT_EQ(improver.improve("draft"), "Better: draft");
    EXPECT_EQ(seen["model"], "local-model");
    EXPECT_EQ(auth, "Bearer k3y");
    Running service(improver);
    auto res = service.client().Post("/improve", R"({"prompt":"fail","email":"e"})", "application/json");
    EXPECT_EQ(res->status, 502);
    EXPECT_EQ(improver.improve("moved"), std::nullopt) << "a redirect is not followed";
    EXPECT_EQ(elsewhereHits, 0) << "the key never went elsewhere";
}

}  // namespace
}  // namespace quillberry::service
