#include "Service.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "service/JsonMembers.h"

namespace quillberry::service {

namespace {

void fail(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Whether `authority` ("name", "name:port", "[v6]:port") names this service on `port`: one of
// `names` (lower case), with that port or, without one, the scheme's default being it.
bool isOurs(const std::string& authority, int port, int defaultPort, const std::vector<std::string>& names) {
    const auto colon = authority.rfind(':');
    const bool hasPort = colon != std::string::npos && authority.find(']', colon) == std::string::npos;
    const std::string name = lower(authority.substr(0, hasPort ? colon : std::string::npos));
    const std::string digits = hasPort ? authority.substr(colon + 1) : std::to_string(defaultPort);
    if (digits.empty() || digits.size() > 5 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return false;
    return std::stoi(digits) == port && std::find(names.begin(), names.end(), name) != names.end();
}

// The names a request may give this service: the loopback ones, the address the connection
// came in on, and those it was told to serve.
std::vector<std::string> namesFor(const httplib::Request& req, const std::vector<std::string>& serverNames) {
    std::vector<std::string> names = serverNames;
    names.insert(names.end(), {"127.0.0.1", "localhost", "[::1]"});
    if (!req.local_addr.empty())
        names.push_back(req.local_addr.find(':') == std::string::npos ? req.local_addr : "[" + req.local_addr + "]");
    return names;
}

bool fromOurOrigin(const std::string& origin, int port, const std::vector<std::string>& names) {
    for (auto [scheme, defaultPort] : {std::pair{"http://", 80}, {"https://", 443}}) {
        if (origin.rfind(scheme, 0) == 0) return isOurs(origin.substr(std::strlen(scheme)), port, defaultPort, names);
    }
    return false;  // "null" included: a sandboxed page or a local file
}

// The refusals decided from the headers alone, before a byte of the body is read, whatever
// the method: a Host or Origin given twice, which two readers may take differently; another
// site's name or page; anything but POST /improve; a body without a length (chunked or until
// close), which cannot be bounded before it is read; a compressed one, which can grow without
// bound once inflated; and one announced over the limit. The connection then closes, so the
// unread body is never taken for a request.
httplib::Server::HandlerResponse refuseBeforeTheBody(const httplib::Request& req, httplib::Response& res,
                                                     const std::vector<std::string>& serverNames, int defaultPort) {
    const auto names = namesFor(req, serverNames);
    const std::string length = req.get_header_value("Content-Length");
    if (req.get_header_value_count("Host") != 1 || req.get_header_value_count("Origin") > 1) {
        fail(res, 400, "one Host header, and at most one Origin header");
    } else if (!isOurs(req.get_header_value("Host"), req.local_port, defaultPort, names)) {
        fail(res, 421, "this service answers only for its own host names");
    } else if (req.has_header("Origin") && !fromOurOrigin(req.get_header_value("Origin"), req.local_port, names)) {
        fail(res, 403, "requests from other sites are refused");
    } else if (req.path != "/improve") {
        fail(res, 404, "no such path; use POST /improve");
    } else if (req.method != "POST") {
        res.set_header("Allow", "POST");
        fail(res, 405, "use POST");
    } else if (req.has_header("Content-Encoding")) {
        fail(res, 415, "compressed bodies are not accepted");
    } else if (req.has_header("Transfer-Encoding") || length.empty()) {
        fail(res, 411, "a Content-Length is required");
    } else if (!std::all_of(length.begin(), length.end(), ::isdigit)) {
        fail(res, 400, "the Content-Length is not a number");
    } else if (length.size() > 9 || std::stoul(length) > MAX_REQUEST_BYTES) {
        fail(res, 413, "the request is larger than 1 MiB");
    } else {
        return httplib::Server::HandlerResponse::Unhandled;
    }
    res.set_header("Connection", "close");
    return httplib::Server::HandlerResponse::Handled;
}

bool isJson(const std::string& contentType) {
    std::string type = contentType.substr(0, contentType.find(';'));
    while (!type.empty() && type.back() == ' ') type.pop_back();
    return lower(type) == "application/json";
}

// What the requests being served hold at once: each big body, with what the request makes of
// it (the prompt, the improved prompt, the reply), counts against one budget, so that however
// many clients send big bodies together the service's memory stays bounded. Big requests wait
// their turn, first come first served; a small one (the app's usual) never waits.
class BodyBudget {
public:
    static constexpr size_t SMALL = 16u << 10, COPIES = 5, BYTES = 32u << 20;
    static constexpr auto LONGEST_WAIT = std::chrono::seconds(10);

    // The share taken for a body of `length`; absent when its turn did not come in time.
    std::optional<size_t> take(size_t length) {
        const size_t share = length <= SMALL ? 0 : std::min(length * COPIES, BYTES);
        if (share == 0) return share;
        std::unique_lock lock(mutex_);
        const auto ticket = next_++;
        waiting_.push_back(ticket);
        const bool turn =
            changed_.wait_for(lock, LONGEST_WAIT, [&] { return waiting_.front() == ticket && used_ + share <= BYTES; });
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
        changed_.notify_all();
        if (!turn) return std::nullopt;
        used_ += share;
        return share;
    }
    void give(size_t share) {
        std::lock_guard lock(mutex_);
        used_ -= share;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<unsigned long long> waiting_;
    unsigned long long next_ = 0;
    size_t used_ = 0;
};

// The whole body of a request, from the moment its turn came: 200 KiB/s for the largest, and
// shorter than a turn's longest wait, so that bodies sent at a trickle cannot make the big
// requests that wait behind them time out.
constexpr auto BODY_DEADLINE = std::chrono::seconds(5);

}  // namespace

void installRoutes(httplib::Server& server, Improver& improver, std::vector<std::string> serverNames) {
    for (std::string& name : serverNames) name = lower(name);
    server.set_payload_max_length(MAX_REQUEST_BYTES);
    const int defaultPort = dynamic_cast<httplib::SSLServer*>(&server) ? 443 : 80;  // of a Host without one
    server.set_pre_routing_handler([serverNames, defaultPort](const httplib::Request& req, httplib::Response& res) {
        return refuseBeforeTheBody(req, res, serverNames, defaultPort);
    });
    // One thread holds one connection: enough of them that slow clients, which httplib
    // cannot time out while they keep sending, leave room for everyone else. Idle
    // keep-alive connections go after 2 s, and so does a client silent for 2 s mid-request.
    server.new_task_queue = [] { return new httplib::ThreadPool(MAX_CONNECTIONS); };
    server.set_keep_alive_timeout(2);
    server.set_read_timeout(2);
    // httplib sets only SO_REUSEPORT, with which a restart fails while the connections the
    // last run closed linger in TIME_WAIT (up to a minute).
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // The reply goes out as headers then body; with Nagle on, a client that delays its ACKs
    // would wait ~40 ms for the second write on every keep-alive request.
    server.set_tcp_nodelay(true);

    auto budget = std::make_shared<BodyBudget>();
    server.Post("/improve", [&improver, budget](const httplib::Request& req, httplib::Response& res,
                                                const httplib::ContentReader& read) {
        if (!isJson(req.get_header_value("Content-Type"))) {
            res.set_header("Connection", "close");
            return fail(res, 415, "Content-Type must be application/json");
        }
        const size_t length = std::stoul(req.get_header_value("Content-Length"));  // checked before routing
        const auto share = budget->take(length);
        if (!share) {
            res.set_header("Connection", "close"), res.set_header("Retry-After", "1");
            return fail(res, 503, "too many big requests at once; try again");
        }
        struct Give {
            BodyBudget& budget;
            size_t share;
            ~Give() { budget.give(share); }
        } give{*budget, *share};  // once the reply is made
        // A body that trickles in would keep its share from everyone else: it has a deadline.
        const auto deadline = std::chrono::steady_clock::now() + BODY_DEADLINE;
        std::string body;
        body.reserve(length);
        if (!read([&](const char* data, size_t n) {
                return std::chrono::steady_clock::now() < deadline && body.append(data, n).size() <= length;
            })) {
            res.set_header("Connection", "close");
            return fail(res, 408, "the body did not arrive in time");
        }
        auto members = topLevelStrings(body, {"prompt", "email"});
        std::string().swap(body);
        if (!members) return fail(res, 400, "the body must be a JSON object nested at most 512 deep");
        if (!(*members)[0]) return fail(res, 400, "\"prompt\" must be a string");
        if (!(*members)[1]) return fail(res, 400, "\"email\" must be a string");
        std::optional<std::string> improved = improver.improve(*(*members)[0]);
        members.reset();
        if (!improved) return fail(res, 502, "the upstream model did not answer");
        res.body = nlohmann::json{{"improved_prompt", std::move(*improved)}}.dump();
        res.set_header("Content-Type", "application/json");
    });

    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;  // a route already explained itself
        if (res.status == 413) return fail(res, 413, "the request is larger than 1 MiB");
        if (res.status == 431) return fail(res, 431, "more than 100 header lines or 64 KiB of them");
        fail(res, res.status, "request refused");
    });
}

}  // namespace quillberry::service
