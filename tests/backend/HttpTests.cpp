#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "LocalServers.h"
#include "platform/qt/CurlHttp.h"

namespace quillberry::testing {
namespace {

using namespace std::chrono_literals;
using qt::CurlHttp;
using Clock = std::chrono::steady_clock;

// Records every completion of one request: how often, on which thread, with what.
struct Outcome {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    std::thread::id thread;
    HttpResponse response;

    std::function<void(HttpResponse)> completion() {
        return [this](HttpResponse r) {
            std::lock_guard lock(mutex);
            ++calls, thread = std::this_thread::get_id(), response = std::move(r);
            changed.notify_all();
        };
    }
    bool wait(std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return calls > 0; });
    }
};

HttpRequest post(const std::string& url, std::string body = R"({"prompt":"p","email":"e"})") {
    HttpRequest r;
    r.url = url;
    r.headers = {{"Content-Type", "application/json"}};
    r.body = std::move(body);
    return r;
}

void expectSingleOffThread(Outcome& o) {
    std::this_thread::sleep_for(50ms);  // a second completion would land by now
    std::lock_guard lock(o.mutex);
    EXPECT_EQ(o.calls, 1);
    EXPECT_NE(o.thread, std::this_thread::get_id());
}

struct Http : ::testing::Test {
    void SetUp() override { setenv("no_proxy", "127.0.0.1,localhost", 1); }
};

TEST_F(Http, PostsTheBodyAndDeliversStatusAndBody) {
    HttpServer server;
    std::string seenBody, seenType, seenEncoding;
    server.routes().Post("/improve", [&](const httplib::Request& req, httplib::Response& res) {
        seenBody = req.body, seenType = req.get_header_value("Content-Type");
        seenEncoding = req.get_header_value("Accept-Encoding");
        res.set_content(R"({"improved_prompt":")" + std::string(4000, 'a') + "\"}", "application/json");
    });
    server.start();
    CurlHttp http;
    Outcome o;
    http.post(post(server.url() + "/improve"), o.completion());
    ASSERT_TRUE(o.wait());
    expectSingleOffThread(o);
    EXPECT_FALSE(o.response.transportError);
    EXPECT_EQ(o.response.status, 200);
    EXPECT_EQ(o.response.body->size(), 4000u + 22);
    EXPECT_EQ(seenBody, R"({"prompt":"p","email":"e"})");
    EXPECT_EQ(seenType, "application/json");
    EXPECT_NE(seenEncoding.find("gzip"), std::string::npos) << "compressed replies are accepted";
}

TEST_F(Http, RedirectsFollowTheUsualMethodRules) {
    HttpServer server;
    std::string methodAtTarget, bodyAtTarget;
    server.routes().Post("/found", [](const auto&, httplib::Response& res) { res.set_redirect("/target", 302); });
    server.routes().Post("/temporary", [](const auto&, httplib::Response& res) { res.set_redirect("/target", 307); });
    auto target = [&](const httplib::Request& req, httplib::Response& res) {
        methodAtTarget = req.method, bodyAtTarget = req.body;
        res.set_content(R"({"improved_prompt":"x"})", "application/json");
    };
    server.routes().Get("/target", target);
    server.routes().Post("/target", target);
    server.start();
    CurlHttp http;
    for (auto [path, method, body] : {std::tuple{"/found", "GET", ""}, std::tuple{"/temporary", "POST", "{\"a\":1}"}}) {
        Outcome o;
        http.post(post(server.url() + path, "{\"a\":1}"), o.completion());
        ASSERT_TRUE(o.wait());
        EXPECT_EQ(o.response.status, 200) << path;
        EXPECT_EQ(methodAtTarget, method) << path;
        EXPECT_EQ(bodyAtTarget, body) << path;
    }
}

TEST_F(Http, TransportFailuresCompleteOnceAsErrors) {
    RawServer garbage([](int fd, const auto&) { RawServer::send(fd, "\x01\x02 this is not HTTP\r\n\r\n"); });
    RawServer cut([](int fd, const auto&) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"improved_prompt\"");
    });
    RawServer empty([](int, const auto&) {});
    int refusedPort = [] {
        RawServer probe([](int, const auto&) {});
        return std::stoi(probe.url().substr(probe.url().rfind(':') + 1));
    }();
    CurlHttp http;
    for (const std::string& url : {garbage.url(), cut.url(), empty.url(),
                                   "http://127.0.0.1:" + std::to_string(refusedPort)}) {
        Outcome o;
        http.post(post(url + "/improve"), o.completion());
        ASSERT_TRUE(o.wait()) << url;
        expectSingleOffThread(o);
        EXPECT_TRUE(o.response.transportError) << url;
    }
}

TEST_F(Http, IdleLimitEndsStallsButNotASlowDrip) {
    const auto idle = 800ms;
    RawServer stallBeforeHeaders([](int, const auto& stopping) { RawServer::pause(stopping, 5000); });
    RawServer stallMidBody([](int fd, const auto& stopping) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n{\"improved");
        RawServer::pause(stopping, 5000);
    });
    const std::string reply = R"({"improved_prompt":"drip"})";
    RawServer drip([&](int fd, const auto& stopping) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n");
        for (char c : reply) {  // 26 bytes, one every 100 ms: 2.6 s in all, never idle for 0.8 s
            RawServer::pause(stopping, 100);
            RawServer::send(fd, std::string(1, c));
        }
    });
    CurlHttp http(CurlHttp::Options{idle, 60s, "", 32u << 20});
    for (const std::string& url : {stallBeforeHeaders.url(), stallMidBody.url()}) {
        Outcome o;
        auto start = Clock::now();
        http.post(post(url), o.completion());
        ASSERT_TRUE(o.wait());
        auto took = Clock::now() - start;
        EXPECT_TRUE(o.response.transportError) << url;
        EXPECT_GE(took, idle) << url;
        EXPECT_LT(took, idle + 1500ms) << url << ": the limit must fire soon after it passes";
    }
    Outcome o;
    http.post(post(drip.url()), o.completion());
    ASSERT_TRUE(o.wait());
    EXPECT_FALSE(o.response.transportError);
    EXPECT_EQ(o.response.body, reply);
}

TEST_F(Http, OversizedBodyIsAFailure) {
    HttpServer server;
    server.routes().Post("/big", [](const auto&, httplib::Response& res) {
        res.set_content(std::string(3000, 'x'), "application/octet-stream");
    });
    server.start();
    CurlHttp http(CurlHttp::Options{std::nullopt, 60s, "", 2048});
    Outcome o;
    http.post(post(server.url() + "/big"), o.completion());
    ASSERT_TRUE(o.wait());
    EXPECT_TRUE(o.response.transportError);
    EXPECT_FALSE(o.response.body.has_value());
}

TEST_F(Http, TlsIsVerifiedAgainstTheTrustedAuthorities) {
    std::string dir = ::testing::TempDir() + "quillberry-tls";
    std::string make = "mkdir -p " + dir + " && openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
                       " -addext subjectAltName=IP:127.0.0.1 -keyout " + dir + "/key.pem -out " + dir +
                       "/cert.pem >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    HttpServer server(std::make_unique<httplib::SSLServer>((dir + "/cert.pem").c_str(), (dir + "/key.pem").c_str()));
    server.routes().Post("/improve", [](const auto&, httplib::Response& res) {
        res.set_content(R"({"improved_prompt":"secure"})", "application/json");
    });
    server.start();
    for (bool trusted : {true, false}) {
        CurlHttp http(CurlHttp::Options{std::nullopt, 60s, trusted ? dir + "/cert.pem" : "", 32u << 20});
        Outcome o;
        http.post(post(server.url("https") + "/improve"), o.completion());
        ASSERT_TRUE(o.wait());
        EXPECT_EQ(o.response.transportError, !trusted);
        if (trusted) EXPECT_EQ(o.response.body, R"({"improved_prompt":"secure"})");
    }
}

TEST_F(Http, ShutdownCompletesStalledRequestsPromptly) {
    RawServer stall([](int, const auto& stopping) { RawServer::pause(stopping, 10000); });
    Outcome first, second;
    auto start = Clock::now();
    {
        CurlHttp http;
        http.post(post(stall.url()), first.completion());
        http.post(post(stall.url()), second.completion());
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_LT(Clock::now() - start, 2s);
    for (Outcome* o : {&first, &second}) {
        ASSERT_TRUE(o->wait(1s));
        expectSingleOffThread(*o);
        EXPECT_TRUE(o->response.transportError);
    }
}

}  // namespace
}  // namespace quillberry::testing
