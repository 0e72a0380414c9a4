#pragma once
// The seam's HTTP service on libcurl: one worker thread drives every transfer through a
// multi handle, so the main thread never blocks on the network.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <memory>
#include <optional>
#include <vector>

#include "platform/Http.h"

typedef void CURLM;

namespace quillberry::qt {

class CurlHttp : public Http {
public:
    struct Options {
        // Overrides the request's idle limit; tests shorten it.
        std::optional<std::chrono::milliseconds> idleLimit;
        std::chrono::milliseconds connectLimit{60'000};
        // However lively the exchange, one request ends after this long.
        std::chrono::milliseconds totalLimit{300'000};
        std::string caFile;  // extra trust anchor for tests; empty: the system store
        size_t maxBodyBytes = 32u << 20;
    };

    CurlHttp();
    explicit CurlHttp(Options options);
    // Completes every request still in flight, as a failure, then returns.
    ~CurlHttp() override;

    void post(HttpRequest request, std::function<void(HttpResponse)> completion) override;

    struct Transfer;

private:
    void runWorker();
    void startTransfer(std::unique_ptr<Transfer> transfer);
    void finishTransfer(Transfer* transfer, HttpResponse response);
    bool followRedirect(Transfer* transfer, long status);

    Options options_;
    CURLM* multi_ = nullptr;
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Transfer>> active_;  // worker thread only
    std::thread worker_;
};

}  // namespace quillberry::qt
