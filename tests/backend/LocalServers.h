#pragma once
// Servers on loopback for the HTTP tests: cpp-httplib for well-formed HTTP and HTTPS, and
// a raw socket server for replies no real server would send.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace quillberry::testing {

class HttpServer {
public:
    explicit HttpServer(std::unique_ptr<httplib::Server> server = std::make_unique<httplib::Server>())
        : server_(std::move(server)) {}
    ~HttpServer() { stop(); }
    httplib::Server& routes() { return *server_; }
    void start() {
        port_ = server_->bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_->listen_after_bind(); });
        while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    void stop() {
        if (thread_.joinable()) {
            server_->stop();
            thread_.join();
        }
    }
    std::string url(const std::string& scheme = "http") const {
        return scheme + "://127.0.0.1:" + std::to_string(port_);
    }

private:
    std::unique_ptr<httplib::Server> server_;
    int port_ = 0;
    std::thread thread_;
};

// Accepts connections and hands each socket to `serve`, which writes whatever it likes.
class RawServer {
public:
    explicit RawServer(std::function<void(int fd, const std::atomic<bool>& stopping)> serve) : serve_(std::move(serve)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        ::listen(listen_, 8);
        thread_ = std::thread([this] {
            for (;;) {
                int fd = ::accept(listen_, nullptr, nullptr);
                if (fd < 0 || stopping_) {
                    if (fd >= 0) ::close(fd);
                    return;
                }
                char buffer[65536];
                ::recv(fd, buffer, sizeof buffer, 0);  // the request; its content is not needed
                serve_(fd, stopping_);
                ::close(fd);
            }
        });
    }
    ~RawServer() {
        stopping_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        ::close(listen_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    static void send(int fd, const std::string& data) { ::send(fd, data.data(), data.size(), MSG_NOSIGNAL); }
    // Sleeps in small steps so a stopping server does not hold the test up.
    static void pause(const std::atomic<bool>& stopping, int ms) {
        for (int waited = 0; waited < ms && !stopping; waited += 10) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

private:
    std::function<void(int, const std::atomic<bool>&)> serve_;
    int listen_ = -1, port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quillberry::testing
