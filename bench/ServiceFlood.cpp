// quillberry-service under a flood of hostile bodies on loopback: CLIENTS threads each post
// 1 MiB bodies made to cost memory, back to back, for SECONDS; meanwhile one normal request
// goes out every 250 ms, and the service's resident memory is sampled every 20 ms.
//   service_flood PORT SERVICE_PID CLIENTS SECONDS
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
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

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const int port = std::atoi(argv[1]), pid = std::atoi(argv[2]), clients = std::atoi(argv[3]);
    const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[4]));
    const auto bodies = hostileBodies();
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
                auto res = client.Post("/improve", bodies[size_t(i) % bodies.size()], "application/json");
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
    while (Clock::now() < end) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(std::chrono::seconds(30));
        const auto start = Clock::now();
        auto res =
            client.Post("/improve", R"({"prompt":"écris un mail","email":"bench@example.com"})", "application/json");
        if (res && res->status == 200)
            normal.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        else ++unanswered;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    for (auto& t : flood) t.join();
    sampling = false;
    sampler.join();

    std::printf("hostile requests by status:");
    for (auto [status, n] : statuses) std::printf(" %d: %ld", status, n);
    std::printf("\nservice RSS: %ld KiB before, peak sampled %ld KiB, VmHWM %ld KiB\n", before, peak,
                residentKiB(pid).second);
    std::printf("normal requests: %zu answered, %d not; latency median %.1f ms, max %.1f ms\n", normal.size(),
                unanswered, median(normal), normal.empty() ? 0 : *std::max_element(normal.begin(), normal.end()));
    return 0;
}
