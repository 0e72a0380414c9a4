#include "platform/qt/CurlHttp.h"

#include <curl/curl.h>

#include <algorithm>

namespace quillberry::qt {

using Clock = std::chrono::steady_clock;

struct CurlHttp::Transfer {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::function<void(HttpResponse)> completion;
    std::string body;
    std::chrono::milliseconds idleLimit{60'000};
    size_t maxBody = 0;
    bool tooLarge = false;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t seenBytes = -1;

    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headers) curl_slist_free_all(headers);
    }
};

namespace {

size_t onBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<CurlHttp::Transfer*>(user);
    size_t n = size * count;
    t->lastActivity = Clock::now();
    if (t->body.size() + n > t->maxBody) {
        t->tooLarge = true;
        return 0;  // aborts the transfer with a write error
    }
    t->body.append(data, n);
    return n;
}

size_t onHeader(char*, size_t size, size_t count, void* user) {
    static_cast<CurlHttp::Transfer*>(user)->lastActivity = Clock::now();
    return size * count;
}

// The idle limit: a request fails once no byte has moved for that long, however long
// the whole exchange takes. (libcurl's low-speed options fire seconds late.)
int onProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) {
    (void)dltotal, (void)ultotal;
    auto* t = static_cast<CurlHttp::Transfer*>(user);
    auto now = Clock::now();
    if (dlnow + ulnow != t->seenBytes) {
        t->seenBytes = dlnow + ulnow;
        t->lastActivity = now;
    }
    return now - t->lastActivity > t->idleLimit ? 1 : 0;
}

void initCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

CurlHttp::CurlHttp() : CurlHttp(Options{}) {}

CurlHttp::CurlHttp(Options options) : options_(std::move(options)) {
    initCurlOnce();
    multi_ = curl_multi_init();
    worker_ = std::thread([this] { runWorker(); });
}

CurlHttp::~CurlHttp() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    curl_multi_wakeup(multi_);
    worker_.join();
    curl_multi_cleanup(multi_);
}

void CurlHttp::post(HttpRequest request, std::function<void(HttpResponse)> completion) {
    auto t = std::make_unique<Transfer>();
    t->completion = std::move(completion);
    t->idleLimit = options_.idleLimit.value_or(std::chrono::duration_cast<std::chrono::milliseconds>(request.timeout));
    t->maxBody = options_.maxBodyBytes;
    t->easy = curl_easy_init();
    CURL* e = t->easy;
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connectLimit.count()));
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options_.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, options_.caFile.c_str());
    if (request.method == "POST") {
        // POST through the post fields, not a custom verb, so that 301/302/303 turn it
        // into GET while 307/308 keep it, as browsers and system clients do.
        const std::string& body = request.body ? *request.body : std::string();
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, body.c_str());
    } else if (request.method != "GET") {
        curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    for (const auto& [name, value] : request.headers) {
        t->headers = curl_slist_append(t->headers, (name + ": " + value).c_str());
    }
    // No "Expect: 100-continue" round trip before large bodies.
    t->headers = curl_slist_append(t->headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());
    curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            incoming_.push_back(std::move(t));
        }
    }
    if (t) {  // the service is shutting down: fail at once, still off the caller's stack
        std::thread([t = std::move(t)]() mutable { t->completion(HttpResponse{true, std::nullopt, std::nullopt}); })
            .detach();
        return;
    }
    curl_multi_wakeup(multi_);
}

void CurlHttp::startTransfer(std::unique_ptr<Transfer> transfer) {
    transfer->lastActivity = Clock::now();
    curl_multi_add_handle(multi_, transfer->easy);
    active_.push_back(std::move(transfer));
}

void CurlHttp::finishTransfer(Transfer* transfer, HttpResponse response) {
    curl_multi_remove_handle(multi_, transfer->easy);
    auto owned = std::find_if(active_.begin(), active_.end(), [&](auto& p) { return p.get() == transfer; });
    std::unique_ptr<Transfer> done = std::move(*owned);
    active_.erase(owned);
    done->completion(std::move(response));
}

void CurlHttp::runWorker() {
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> arrived;
        bool stop;
        {
            std::lock_guard lock(mutex_);
            arrived.swap(incoming_);
            stop = stopping_;
        }
        for (auto& t : arrived) startTransfer(std::move(t));
        if (stop) break;

        int running = 0;
        curl_multi_perform(multi_, &running);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
            if (msg->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char**>(&t));
            CURLcode result = msg->data.result;
            HttpResponse response;
            if (result != CURLE_OK || t->tooLarge) {
                response.transportError = true;
            } else {
                long status = 0;
                curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
                if (status > 0) response.status = static_cast<int>(status);
                response.body = std::move(t->body);
            }
            finishTransfer(t, std::move(response));
        }
        // A transfer that sits with no data at all may not see its progress callback for
        // a while; enforce the idle limit here too so it fails on time.
        auto now = Clock::now();
        std::vector<Transfer*> stale;
        for (auto& t : active_) {
            if (now - t->lastActivity > t->idleLimit) stale.push_back(t.get());
        }
        for (Transfer* t : stale) finishTransfer(t, HttpResponse{true, std::nullopt, std::nullopt});

        // With nothing in flight, sleep until post() or the destructor wakes us: an idle
        // app must not wake up at all. In flight, look at the idle limits ten times a second.
        int ready = 0;
        curl_multi_poll(multi_, nullptr, 0, active_.empty() ? 3'600'000 : 100, &ready);
    }
    // Shutting down: every request still here fails, exactly once.
    while (!active_.empty()) finishTransfer(active_.back().get(), HttpResponse{true, std::nullopt, std::nullopt});
}

}  // namespace quillberry::qt
