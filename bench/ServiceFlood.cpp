// quillberry-service under a flood of hostile clients on loopback: CLIENTS threads each send
// requests of one SHAPE, back to back, for SECONDS; meanwhile one normal request goes out
// every 250 ms, and the service's resident memory is sampled every 20 ms.
//   service_flood PORT SERVICE_PID CLIENTS SECONDS [SHAPE [UPSTREAM_PORT]]
//   SHAPE: bodies (default: 1 MiB bodies made to cost memory), methods (bodies on other
//   methods and paths: DELETE with 160 MiB of gzip, PRI with 140 MiB chunked, POST /other with
//   1 MiB), headers (16,000 header lines of 8 KB), slow (1 MiB bodies at a byte a second; the
//   normal request is then a 100 KB one, which needs a share of the budget), upstream (normal
//   requests, and the service's upstream, served here on UPSTREAM_PORT, answers with 12,000
//   header lines of 8 KB)
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/Limits.h"

namespace {

using Clock = std::chrono::steady_clock;

// Kilobytes of the process's resident memory, now and at its peak.
std::pair<long, long> residentKiB(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    long rss = 0, hwm = 0;
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
        if (line.rfind("VmHWM:", 0) == 0) hwm = std::stol(line.substr(6));
    }
    return {rss, hwm};
}

// Bodies just under the limit, each costly its own way: a million empty objects beside the
// two members, as many short members, and the longest prompt of short words.
std::vector<std::string> hostileBodies() {
    const std::string head = R"({"prompt":"x","email":"flood@example.com","p":[)";
    std::string objects = head, members = R"({"prompt":"x","email":"flood@example.com")",
                words = R"({"email":"flood@example.com","prompt":")";
    const size_t room = quillberry::MAX_REQUEST_BYTES - 16;
    while (objects.size() < room) objects += "{},";
    objects += "{}]}";
    for (int i = 0; members.size() < room; ++i) members += ",\"" + std::to_string(i) + "\":0";
    members += "}";
    while (words.size() < room) words += "a ";
    words += "\"}";
    return {objects, members, words};
}

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET, addr.sin_port = htons(uint16_t(port)), addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// One request as raw bytes: `head`, then `body` in pieces of `piece` bytes `pauseMs` apart,
// as long as the service takes them and `end` has not come; its status, 0 when none came.
int rawRequest(int port, const std::string& head, const std::string& body, size_t piece, int pauseMs,
               Clock::time_point end) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback(port);
    timeval limit{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    int status = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, head.data(), head.size(), MSG_NOSIGNAL) == ssize_t(head.size())) {
        for (size_t at = 0; at < body.size() && Clock::now() < end; at += piece) {
            if (::send(fd, body.data() + at, std::min(piece, body.size() - at), MSG_NOSIGNAL) < 0) break;
            if (pauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        char answer[16] = {};
        if (::recv(fd, answer, 12, MSG_WAITALL) == 12) status = std::atoi(answer + 9);
    }
    ::close(fd);
    return status;
}

// What one hostile client sends, as raw requests, in turn: the `i`th of them.
std::function<int(int, Clock::time_point)> hostileRequests(const std::string& shape, int port) {
    const std::string host = "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    if (shape == "methods") {
        auto gzip = std::make_shared<std::string>(compressBound(160u << 20) / 512, '\0');  // 160 MiB of zeros
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
        std::string zeros(1 << 20, '\0');
        for (int i = 0; i < 160; ++i) {
            z.next_in = reinterpret_cast<Bytef*>(zeros.data()), z.avail_in = uInt(zeros.size());
            z.next_out = reinterpret_cast<Bytef*>(gzip->data()) + z.total_out;
            z.avail_out = uInt(gzip->size() - z.total_out);
            deflate(&z, i == 159 ? Z_FINISH : Z_NO_FLUSH);
        }
        gzip->resize(z.total_out);
        deflateEnd(&z);
        std::string chunk = "100000\r\n" + std::string(1 << 20, 'a') + "\r\n", chunked;
        for (int i = 0; i < 140; ++i) chunked += chunk;
        auto pri = std::make_shared<std::string>(chunked + "0\r\n\r\n");
        auto mib = std::make_shared<std::string>(1 << 20, 'a');
        return [=](int i, Clock::time_point end) {
            if (i % 3 == 0)
                return rawRequest(port,
                                  "DELETE /improve HTTP/1.1\r\n" + host + "Content-Encoding: gzip\r\nContent-Length: " +
                                      std::to_string(gzip->size()) + "\r\n\r\n",
                                  *gzip, 1 << 16, 0, end);
            if (i % 3 == 1)
                return rawRequest(port, "PRI /improve HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n", *pri,
                                  1 << 16, 0, end);
            return rawRequest(port, "POST /other HTTP/1.1\r\n" + host + "Content-Length: 1048576\r\n\r\n", *mib,
                              1 << 16, 0, end);
        };
    }
    if (shape == "headers") {
        std::string line = "X-Pad: " + std::string(8000, 'a') + "\r\n", lines;
        for (int i = 0; i < 16000; ++i) lines += line;
        auto head = std::make_shared<std::string>(lines + "\r\n");
        return [=](int, Clock::time_point end) {
            return rawRequest(port, "GET /improve HTTP/1.1\r\n" + host, *head, 1 << 16, 0, end);
        };
    }
    if (shape == "slow") {
        auto body = std::make_shared<std::string>(R"({"email":"flood@example.com","prompt":")" +
                                                  std::string(quillberry::MAX_REQUEST_BYTES - 64, 'a') + "\"}");
        return [=](int, Clock::time_point end) {
            return rawRequest(port,
                              "POST /improve HTTP/1.1\r\n" + host +
                                  "Content-Type: application/json\r\nContent-Length: " + std::to_string(body->size()) +
                                  "\r\n\r\n",
                              *body, 1, 1000, end);
        };
    }
    return nullptr;
}

int listenOn(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0), yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr = loopback(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 256) != 0) return -1;
    return fd;
}

// Answers each connection, once its request has come, with a status line and 12,000 header
// lines of 8 KB, for as long as the caller reads them.
void serveHugeHeads(int listening) {
    std::string line = "X-Pad: " + std::string(8000, 'a') + "\r\n";
    auto head = std::make_shared<std::string>("HTTP/1.1 200 OK\r\n");
    for (int i = 0; i < 12000; ++i) *head += line;
    *head += "Content-Type: application/json\r\nContent-Length: 2\r\nConnection: close\r\n\r\n{}";
    for (int fd; (fd = ::accept(listening, nullptr, nullptr)) >= 0;) {
        std::thread([fd, head] {
            char request[65536];
            std::string seen;
            for (ssize_t n;
                 seen.find("\r\n\r\n") == std::string::npos && (n = ::recv(fd, request, sizeof request, 0)) > 0;)
                seen.append(request, size_t(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));  // the body's rest
            for (size_t at = 0; at < head->size(); at += 1 << 16) {
                if (::send(fd, head->data() + at, std::min<size_t>(1 << 16, head->size() - at), MSG_NOSIGNAL) < 0)
                    break;
            }
            ::close(fd);
        }).detach();
    }
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5 || argc > 7) return 2;
    const int port = std::atoi(argv[1]), pid = std::atoi(argv[2]), clients = std::atoi(argv[3]);
    const std::string shape = argc > 5 ? argv[5] : "bodies";
    const auto bodies = hostileBodies();
    const auto hostile = hostileRequests(shape, port);
    // The service's upstream, which answers every call with a head of 12,000 lines.
    std::thread upstream;
    int upstreamFd = -1;
    if (shape == "upstream") {
        if (argc != 7) return 2;
        upstreamFd = listenOn(std::atoi(argv[6]));
        if (upstreamFd < 0) return std::fprintf(stderr, "service_flood: cannot listen on port %s\n", argv[6]), 1;
        upstream = std::thread(serveHugeHeads, upstreamFd);
    }
    const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[4]));
    const long before = residentKiB(pid).first;

    std::mutex mutex;
    std::map<int, long> statuses;  // of the hostile requests; 0: no answer
    std::vector<std::thread> flood;
    for (int c = 0; c < clients; ++c) {
        flood.emplace_back([&, c] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(std::chrono::seconds(30));
            std::map<int, long> mine;
            for (int i = c; Clock::now() < end; ++i) {
                if (hostile) {
                    ++mine[hostile(i, end)];
                    continue;
                }
                const std::string& body = shape == "upstream" ? R"({"prompt":"x","email":"flood@example.com"})"
                                                              : bodies[size_t(i) % bodies.size()];
                auto res = client.Post("/improve", body, "application/json");
                ++mine[res ? res->status : 0];
            }
            std::lock_guard lock(mutex);
            for (auto [status, n] : mine) statuses[status] += n;
        });
    }
    std::atomic<bool> sampling{true};
    long peak = 0;
    std::thread sampler([&] {
        while (sampling) {
            peak = std::max(peak, residentKiB(pid).first);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    std::vector<double> normal;
    int unanswered = 0;
    const std::string prompt = shape == "slow" ? std::string(100'000, 'a') : "écris un mail";
    while (Clock::now() < end) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(std::chrono::seconds(30));
        const auto start = Clock::now();
        auto res = client.Post("/improve", R"({"prompt":")" + prompt + R"(","email":"bench@example.com"})",
                               "application/json");
        if (res && res->status == 200)
            normal.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        else ++unanswered;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    for (auto& t : flood) t.join();
    sampling = false;
    sampler.join();
    if (upstream.joinable()) ::shutdown(upstreamFd, SHUT_RDWR), upstream.join(), ::close(upstreamFd);

    std::printf("hostile requests by status:");
    for (auto [status, n] : statuses) std::printf(" %d: %ld", status, n);
    std::printf("\nservice RSS: %ld KiB before, peak sampled %ld KiB, VmHWM %ld KiB\n", before, peak,
                residentKiB(pid).second);
    std::printf("normal requests: %zu answered, %d not; latency median %.1f ms, max %.1f ms\n", normal.size(),
                unanswered, median(normal), normal.empty() ? 0 : *std::max_element(normal.begin(), normal.end()));
    return 0;
}
