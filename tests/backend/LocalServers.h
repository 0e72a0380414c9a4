#pragma once
// A raw socket server on loopback for the HTTP tests: it sends what a test scripts, including
// replies no real server would send.

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

// Accepts connections, reads the request, and hands each socket to `serve`.
class RawServer {
public:
    using Serve = std::function<void(int fd, const std::atomic<bool>& stopping)>;
    explicit RawServer(Serve serve) : serve_(std::move(serve)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
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
        for (int waited = 0; waited < ms && !stopping; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::string url;

private:
    Serve serve_;
    int listen_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace quillberry::testing
