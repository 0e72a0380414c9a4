#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include <httplib.h>

#include "Processes.h"
#include "platform/qt/CurlHttp.h"

namespace quillberry::testing {
namespace {

using namespace std::chrono_literals;
using qt::CurlHttp;

// A loopback server that sends what a case scripts, replies no real server would send: it
// accepts connections on a free port, reads the request, and hands each socket to `serve`.
struct RawServer {
    using Serve = std::function<void(int fd, const std::atomic<bool>& stopping)>;
    explicit RawServer(Serve serve) : serve_(std::move(serve)), listen_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof addr;
        ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), len);
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
        ::listen(listen_, 8);
        thread_ = std::thread([this] {
            for (int fd; (fd = ::accept(listen_, nullptr, nullptr)) >= 0 && !stopping_; ::close(fd)) {
                char request[65536];
                ::recv(fd, request, sizeof request, 0);
                serve_(fd, stopping_);
            }
        });
    }
    ~RawServer() {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        thread_.join();
    }
    static void send(int fd, const std::string& data) { ::send(fd, data.data(), data.size(), MSG_NOSIGNAL); }
    // Sleeps in small steps so a stopping server does not hold the test up.
    static void pause(const std::atomic<bool>& stopping, int ms) {
        for (int waited = 0; waited < ms && !stopping; waited += 10) std::this_thread::sleep_for(10ms);
    }
    std::string url;

private:
    Serve serve_;
    int listen_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Posts one request and returns its reply, which must complete once and off the caller's thread.
HttpResponse postOnce(const CurlHttp::Options& options, const std::string& url) {
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    std::thread::id thread;
    HttpResponse response;
    CurlHttp http(options);
    http.post({url, {{"Content-Type", "application/json"}}, R"({"prompt":"p","email":"e"})", 60s}, [&](HttpResponse r) {
        std::lock_guard lock(mutex);
        ++calls, thread = std::this_thread::get_id(), response = std::move(r);
        changed.notify_all();
    });
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 10s, [&] { return calls > 0; })) << "no reply from " << url;
    EXPECT_FALSE(changed.wait_for(lock, 50ms, [&] { return calls > 1; })) << "completed twice";
    EXPECT_NE(thread, std::this_thread::get_id());
    return response;
}

TEST(Http, BrokenCutOversizedAndRefusedRepliesFailOnceWithoutBody) {
    RawServer garbage([](int fd, const auto&) { RawServer::send(fd, "\x01\x02 this is not HTTP\r\n\r\n"); });
    RawServer cut(
        [](int fd, const auto&) { RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 99\r\n\r\n{\"impro"); });
    RawServer big([](int fd, const auto&) { RawServer::send(fd, "HTTP/1.1 200 OK\r\n\r\n" + std::string(3000, 'x')); });
    std::string refused = RawServer([](int, const auto&) {}).url;
    for (const std::string& url : {garbage.url, cut.url, big.url, refused}) {
        const HttpResponse response = postOnce({.idleLimit = 60s, .caFile = "", .maxBodyBytes = 2048}, url);
        EXPECT_TRUE(response.transportError) << url;
        EXPECT_FALSE(response.body.has_value()) << url;
        EXPECT_EQ(response.refused, url == refused) << url << ": only there does nothing listen";
    }
}

// Neither a redirect to another origin nor a proxy of the environment takes the prompt to a
// loopback service elsewhere.
TEST(Http, ThePromptGoesOnlyToTheServicesOrigin) {
    std::atomic<int> served{0}, elsewhereHits{0};
    RawServer elsewhere([&](int fd, const auto&) {
        ++elsewhereHits;
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nno");
    });
    std::string self;
    RawServer moving([&](int fd, const auto&) {
        const std::string to = served++ == 0 ? self + "/moved" : elsewhere.url + "/improve";
        RawServer::send(fd, "HTTP/1.1 308 Permanent Redirect\r\nLocation: " + to + "\r\nContent-Length: 0\r\n\r\n");
    });
    self = moving.url;
    ::unsetenv("no_proxy"), ::unsetenv("NO_PROXY");
    for (const char* proxy : {"http_proxy", "ALL_PROXY"}) ::setenv(proxy, elsewhere.url.c_str(), 1);
    const HttpResponse response = postOnce({}, moving.url + "/improve");
    EXPECT_EQ(served, 2) << "the redirect within the origin was followed";
    EXPECT_EQ(response.status, 308) << "the one to another origin was not";
    EXPECT_EQ(elsewhereHits, 0);
    for (const char* proxy : {"http_proxy", "ALL_PROXY"}) ::unsetenv(proxy);
}

TEST(Http, AStallEndsAtTheIdleLimitAndASlowDripOnlyAtTheTotalOne) {
    const std::string dripped = R"({"improved_prompt":"drip"})";
    RawServer stall([](int fd, const auto& stopping) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 40\r\n\r\n{\"improved");
        RawServer::pause(stopping, 15000);  // longer than await() waits: only the limit ends it
    });
    RawServer drip([&](int fd, const auto& stopping) {
        RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 26\r\n\r\n");
        for (char c : dripped) {  // 2.6 s, never idle for 0.8 s
            RawServer::pause(stopping, 100);
            RawServer::send(fd, std::string(1, c));
        }
    });
    // Four same-origin redirects, each 0.5 s of header lines, then the reply: the limit is
    // for the whole request, not for each of its hops.
    std::atomic<int> hops{0};
    std::string self;
    RawServer redirecting([&](int fd, const auto& stopping) {
        if (hops++ == 4) return RawServer::send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 26\r\n\r\n" + dripped);
        RawServer::send(fd, "HTTP/1.1 307 Temporary Redirect\r\n");
        for (int line = 0; line < 5; ++line) RawServer::pause(stopping, 100), RawServer::send(fd, "X-Wait: 1\r\n");
        RawServer::send(fd, "Location: " + self + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    });
    self = redirecting.url + "/improve";
    for (auto [url, total, body] :
         {std::tuple{stall.url, 300s, std::optional<std::string>()}, std::tuple{drip.url, 300s, std::optional(dripped)},
          std::tuple{drip.url, 1s, std::optional<std::string>()}, std::tuple{self, 1s, std::optional<std::string>()}}) {
        EXPECT_EQ(postOnce({.idleLimit = 800ms, .totalLimit = total, .caFile = ""}, url).body, body)
            << url << " " << total.count();
    }
}

TEST(Http, TlsIsVerifiedAgainstTheTrustedAuthorities) {
    const std::string dir = ::testing::TempDir();
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext "
        "subjectAltName=IP:127.0.0.1 -keyout " +
        dir + "key.pem -out " + dir + "cert.pem 2>/dev/null";
    ASSERT_EQ(std::system(make.c_str()), 0);
    httplib::SSLServer server((dir + "cert.pem").c_str(), (dir + "key.pem").c_str());
    server.Post("/improve", [](const auto&, httplib::Response& res) { res.set_content("secure", "text/plain"); });
    const std::string url = "https://127.0.0.1:" + std::to_string(server.bind_to_any_port("127.0.0.1")) + "/improve";
    std::thread serving([&] { server.listen_after_bind(); });
    for (bool trusted : {true, false}) {
        EXPECT_EQ(postOnce({.idleLimit = 60s, .caFile = trusted ? dir + "cert.pem" : ""}, url).body,
                  trusted ? std::optional<std::string>("secure") : std::nullopt);
    }
    server.stop();
    serving.join();
}

}  // namespace
}  // namespace quillberry::testing
