#include "platform/qt/CurlHttp.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>

namespace quillberry::qt {

using Clock = std::chrono::steady_clock;

struct CurlHttp::Transfer {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::function<void(HttpResponse)> completion;
    std::string body;
    std::chrono::milliseconds idleLimit{60'000};
    size_t maxBody = 0;
    bool tooLarge = false;  // or out of memory: either way the body is not whole
    int redirects = 0;
    Clock::time_point lastActivity = Clock::now();
    Clock::time_point deadline;  // of the whole request, its redirects included
    curl_off_t seenBytes = -1;

    ~Transfer() {
        if (easy) curl_easy_cleanup(easy);
        if (headers) curl_slist_free_all(headers);
    }
};

namespace {

constexpr int MAX_REDIRECTS = 20;

// Called from curl's C frames: nothing may be thrown through them.
size_t onBody(char* data, size_t size, size_t count, void* user) noexcept {
    auto* t = static_cast<CurlHttp::Transfer*>(user);
    size_t n = size * count;
    t->lastActivity = Clock::now();
    if (t->body.size() + n > t->maxBody) {
        t->tooLarge = true;
        return 0;  // aborts the transfer with a write error
    }
    try {
        t->body.append(data, n);
    } catch (const std::bad_alloc&) {
        t->tooLarge = true;
        return 0;
    }
    return n;
}

// scheme://host:port of a URL, with the scheme's default port made explicit.
std::string originOf(const char* url) {
    std::string origin;
    CURLU* u = curl_url();
    if (curl_url_set(u, CURLUPART_URL, url, 0) == CURLUE_OK) {
        for (CURLUPart part : {CURLUPART_SCHEME, CURLUPART_HOST, CURLUPART_PORT}) {
            char* value = nullptr;
            if (curl_url_get(u, part, &value, CURLU_DEFAULT_PORT) != CURLUE_OK) return curl_url_cleanup(u), "";
            origin.append(value).append("|");
            curl_free(value);
        }
    }
    curl_url_cleanup(u);
    return origin;
}

// 127.0.0.0/8, ::1 or localhost: a service on this machine.
bool isLoopback(const char* url) {
    char* host = nullptr;
    CURLU* u = curl_url();
    bool loopback = false;
    if (curl_url_set(u, CURLUPART_URL, url, 0) == CURLUE_OK && curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
        const std::string_view h = host;
        unsigned a, b, c, d;
        char end;
        loopback = h == "localhost" || h == "[::1]" ||
                   (std::sscanf(host, "%u.%u.%u.%u%c", &a, &b, &c, &d, &end) == 4 && a == 127 && b < 256 && c < 256 &&
                    d < 256);
    }
    curl_free(host);
    curl_url_cleanup(u);
    return loopback;
}

size_t onHeader(char*, size_t size, size_t count, void* user) noexcept {
    static_cast<CurlHttp::Transfer*>(user)->lastActivity = Clock::now();
    return size * count;
}

// The idle limit: a request fails once no byte has moved for that long, however long
// the whole exchange takes. (libcurl's low-speed options fire seconds late.)
int onProgress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow) noexcept {
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

// A new easy handle for `t`, set up for `request`.
void configure(CurlHttp::Transfer& t, const HttpRequest& request, const CurlHttp::Options& options) {
    t.easy = curl_easy_init();
    CURL* e = t.easy;
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    // libcurl takes a proxy from the environment (http_proxy, https_proxy, ALL_PROXY). A
    // service on this machine is never reached through one: the prompt and the address
    // would go to the proxy in clear. A remote service goes through the session's proxy,
    // as the desktop's other programs do; its TLS is verified end to end through it.
    if (isLoopback(request.url.c_str())) curl_easy_setopt(e, CURLOPT_PROXY, "");
    // Redirects are followed by hand, and only within the origin: the prompt and the
    // address never go to another host, nor over another scheme (see followRedirect).
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectLimit.count()));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalLimit.count()));
    // Quitting does not wait for a name lookup still running in curl's resolver thread.
    curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!options.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, options.caFile.c_str());
    // POST through the post fields, not a custom verb, so that 301/302/303 turn it into GET
    // while 307/308 keep it, as browsers and system clients do.
    const std::string& body = request.body ? *request.body : std::string();
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS, body.c_str());
    for (const auto& [name, value] : request.headers) {
        t.headers = curl_slist_append(t.headers, (name + ": " + value).c_str());
    }
    // No "Expect: 100-continue" round trip before large bodies.
    t.headers = curl_slist_append(t.headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
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
    configure(*t, request, options_);
    {
        std::lock_guard lock(mutex_);
        if (!stopping_) {
            incoming_.push_back(std::move(t));
        }
    }
    if (t) {  // the service is shutting down: fail at once, still off the caller's stack
        std::thread([t = std::move(t)]() mutable {
            t->completion(HttpResponse{true, std::nullopt, std::nullopt});
        }).detach();
        return;
    }
    curl_multi_wakeup(multi_);
}

void CurlHttp::startTransfer(std::unique_ptr<Transfer> transfer) {
    transfer->lastActivity = Clock::now();
    transfer->deadline = transfer->lastActivity + options_.totalLimit;
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

// A redirect within the request's origin is followed, as a browser would: 301, 302 and
// 303 turn a POST into a GET, 307 and 308 send it again. One to anywhere else is answered
// as it stands (a 3xx, which the reply rules refuse).
bool CurlHttp::followRedirect(Transfer* t, long status) {
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308) return false;
    char *location = nullptr, *current = nullptr;
    curl_easy_getinfo(t->easy, CURLINFO_REDIRECT_URL, &location);
    curl_easy_getinfo(t->easy, CURLINFO_EFFECTIVE_URL, &current);
    if (!location || !current || ++t->redirects > MAX_REDIRECTS) return false;
    const std::string target = location, origin = originOf(current);
    if (origin.empty() || originOf(target.c_str()) != origin) return false;
    curl_multi_remove_handle(multi_, t->easy);
    // Added again, the handle would start its total limit afresh: it gets what is left.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(t->deadline - Clock::now());
    curl_easy_setopt(t->easy, CURLOPT_TIMEOUT_MS, static_cast<long>(std::max<long long>(left.count(), 1)));
    curl_easy_setopt(t->easy, CURLOPT_URL, target.c_str());
    if (status < 307) curl_easy_setopt(t->easy, CURLOPT_HTTPGET, 1L);
    t->body.clear();
    t->seenBytes = -1;
    t->lastActivity = Clock::now();
    curl_multi_add_handle(multi_, t->easy);
    return true;
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
                long osError = 0;
                curl_easy_getinfo(t->easy, CURLINFO_OS_ERRNO, &osError);
                response.refused = result == CURLE_COULDNT_CONNECT && osError == ECONNREFUSED;
            } else {
                long status = 0;
                curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
                if (followRedirect(t, status)) continue;
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
            if (now - t->lastActivity > t->idleLimit || now > t->deadline) stale.push_back(t.get());
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
