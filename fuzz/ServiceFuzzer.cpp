// libFuzzer target: the bytes of one connection, as the service reads them from its socket
// (request line, headers, Content-Length or chunked framing, JSON body, pipelined requests),
// go through the very routes the service installs. None may crash it, and every answer is a
// status line with a JSON body: an improved prompt for a 200, an error for anything else.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>

#include "Improver.h"
#include "Service.h"

namespace {

// The connection: reads come from the input, writes are kept for checking.
class Connection final : public httplib::Stream {
public:
    explicit Connection(std::string_view in) : in_(in) {}
    bool is_readable() const override { return at_ < in_.size(); }
    bool wait_readable() const override { return true; }
    bool wait_writable() const override { return true; }
    ssize_t read(char* ptr, size_t size) override {
        const size_t n = in_.copy(ptr, size, at_);
        at_ += n;
        return ssize_t(n);
    }
    ssize_t write(const char* ptr, size_t size) override { return out.append(ptr, size), ssize_t(size); }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { ip = "127.0.0.1", port = 40000; }
    void get_local_ip_and_port(std::string& ip, int& port) const override { ip = "127.0.0.1", port = 8787; }
    socket_t socket() const override { return INVALID_SOCKET; }
    time_t duration() const override { return 0; }
    size_t at() const { return at_; }
    std::string out;

private:
    std::string_view in_;
    size_t at_ = 0;
};

struct Service : httplib::Server {
    Service() { quillberry::service::installRoutes(*this, improver); }
    // One request off the connection; false once the connection is over.
    bool serveOne(Connection& connection) {
        bool closed = false;
        const size_t before = connection.at();
        const bool more = process_request(connection, "127.0.0.1", 40000, "127.0.0.1", 8787, false, closed, nullptr);
        return more && !closed && connection.at() > before && connection.is_readable();
    }
    quillberry::service::BuiltinImprover improver;
};

// Whether the parser takes the next request's method as HEAD, even from a request line it then
// refuses: the first space-separated word, blanks around it trimmed, of a line ending in CRLF.
bool headMethod(std::string_view rest) {
    const size_t end = rest.find("\r\n");  // a bare LF does not end it
    if (end == std::string_view::npos) return false;
    std::string_view line = rest.substr(0, end);
    line.remove_prefix(std::min(line.size(), line.find_first_not_of(" \t")));
    line = line.substr(0, line.find(' '));
    return line.substr(0, line.find_last_not_of('\t') + 1) == "HEAD";
}

// A HEAD request's answer has the head alone. True when the answer says the connection ends.
bool check(std::string answer, bool headOnly) {
    if (answer.empty()) return false;                             // the peer closed before a whole request line
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";  // asked for by "Expect: 100-continue"
    if (answer.rfind(interim, 0) == 0) answer.erase(0, interim.size());
    const size_t head = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.1 ", 0) != 0 || head == std::string::npos) std::abort();
    const bool closing = answer.substr(0, head + 2).find("\r\nConnection: close\r\n") != std::string::npos;
    if (headOnly && head + 4 == answer.size()) return closing;
    const auto body = nlohmann::json::parse(answer.substr(head + 4), nullptr, false);
    const bool ok = answer.rfind("HTTP/1.1 200 ", 0) == 0;
    if (!body.is_object() || !body[ok ? "improved_prompt" : "error"].is_string()) std::abort();
    return closing;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Service service;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Connection connection(input);
    // After an answer that says the connection ends, nothing more is read from it as a request:
    // the rest may be the unread remainder of a refused one.
    bool closing = false;
    for (bool more = true; more;) {
        const bool headOnly = headMethod(input.substr(connection.at()));
        more = service.serveOne(connection);
        if (closing && !connection.out.empty()) std::abort();
        closing = check(connection.out, headOnly);
        connection.out.clear();
    }
    return 0;
}
