// A bounded load test of quillberry-service on loopback: N client threads post real
// requests for a fixed time, then the throughput and latency percentiles are printed.
//   service_load PORT THREADS SECONDS
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const int port = std::atoi(argv[1]), threads = std::atoi(argv[2]), seconds = std::atoi(argv[3]);
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    std::mutex mutex;
    std::vector<double> latencies;
    std::atomic<long> errors{0};
    const std::string body =
        R"({"prompt":"écris un mail à mon manager pour demander un jour de congé vendredi","email":"load@example.com"})";
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            httplib::Client client("127.0.0.1", port);
            client.set_keep_alive(true);
            client.set_tcp_nodelay(true);
            std::vector<double> mine;
            while (Clock::now() < end) {
                auto start = Clock::now();
                auto res = client.Post("/improve", body, "application/json");
                if (!res || res->status != 200) ++errors;
                mine.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            }
            std::lock_guard lock(mutex);
            latencies.insert(latencies.end(), mine.begin(), mine.end());
        });
    }
    for (auto& t : pool) t.join();
    std::sort(latencies.begin(), latencies.end());
    auto pct = [&](double p) { return latencies.empty() ? 0 : latencies[size_t(p * double(latencies.size() - 1))]; };
    std::printf("requests %zu, errors %ld, throughput %.0f req/s, p50 %.3f ms, p99 %.3f ms, max %.3f ms\n",
                latencies.size(), errors.load(), double(latencies.size()) / seconds, pct(0.5), pct(0.99),
                latencies.empty() ? 0 : latencies.back());
    return errors == 0 ? 0 : 1;
}
