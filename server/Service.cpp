#include "Service.h"

#include <algorithm>
#include <cctype>

#include <nlohmann/json.hpp>

namespace quillberry::service {

namespace {

void fail(httplib::Response& res, int status, const std::string& message) {
    res.status = status;
    res.set_content(nlohmann::json{{"error", message}}.dump(), "application/json");
}

// Depth of the deepest array/object, counted outside strings, against `limit`: linear and
// allocation-free, so a body of a million '[' costs its length and not a tree.
bool nestingWithin(const std::string& text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            if (++depth > limit) return false;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return true;
}

// Refusals decided from the headers alone, before a byte of the body is read: a body
// without a length (chunked or until close) cannot be bounded before it is read, and a
// compressed one can grow without bound once inflated.
httplib::Server::HandlerResponse refuseUnboundedBodies(const httplib::Request& req, httplib::Response& res) {
    if (req.method != "POST" && req.method != "PUT" && req.method != "PATCH")
        return httplib::Server::HandlerResponse::Unhandled;
    if (req.has_header("Content-Encoding")) {
        fail(res, 415, "compressed bodies are not accepted");
    } else if (req.has_header("Transfer-Encoding") || !req.has_header("Content-Length")) {
        fail(res, 411, "a Content-Length is required");
    } else {
        return httplib::Server::HandlerResponse::Unhandled;
    }
    res.set_header("Connection", "close");  // the unread body must not be taken for a request
    return httplib::Server::HandlerResponse::Handled;
}

bool isJson(const std::string& contentType) {
    std::string type = contentType.substr(0, contentType.find(';'));
    while (!type.empty() && type.back() == ' ') type.pop_back();
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return type == "application/json";
}

}  // namespace

void installRoutes(httplib::Server& server, Improver& improver) {
    server.set_payload_max_length(MAX_REQUEST_BYTES);
    server.set_pre_routing_handler(refuseUnboundedBodies);
    // One thread holds one connection: enough of them that slow clients, which httplib
    // cannot time out while they keep sending, leave room for everyone else. Idle
    // keep-alive connections go after 2 s.
    server.new_task_queue = [] { return new httplib::ThreadPool(MAX_CONNECTIONS); };
    server.set_keep_alive_timeout(2);
    // httplib sets only SO_REUSEPORT, with which a restart fails while the connections the
    // last run closed linger in TIME_WAIT (up to a minute).
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // The reply goes out as headers then body; with Nagle on, a client that delays its ACKs
    // would wait ~40 ms for the second write on every keep-alive request.
    server.set_tcp_nodelay(true);

    server.Post("/improve", [&improver](const httplib::Request& req, httplib::Response& res) {
        if (!isJson(req.get_header_value("Content-Type"))) {
            return fail(res, 415, "Content-Type must be application/json");
        }
        if (!nestingWithin(req.body, MAX_JSON_DEPTH)) return fail(res, 400, "the body is nested too deeply");
        auto body = nlohmann::json::parse(req.body, nullptr, /*allow_exceptions=*/false);
        if (body.is_discarded() || !body.is_object()) return fail(res, 400, "the body must be a JSON object");
        auto prompt = body.find("prompt"), email = body.find("email");
        if (prompt == body.end() || !prompt->is_string()) return fail(res, 400, "\"prompt\" must be a string");
        if (email == body.end() || !email->is_string()) return fail(res, 400, "\"email\" must be a string");
        std::optional<std::string> improved = improver.improve(prompt->get<std::string>());
        if (!improved) return fail(res, 502, "the upstream model did not answer");
        res.set_content(nlohmann::json{{"improved_prompt", *improved}}.dump(), "application/json");
    });

    auto notAllowed = [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Allow", "POST");
        fail(res, 405, "use POST");
    };
    server.Get("/improve", notAllowed);
    server.Put("/improve", notAllowed);
    server.Delete("/improve", notAllowed);
    server.Patch("/improve", notAllowed);
    server.Options("/improve", notAllowed);

    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (!res.body.empty()) return;  // a route already explained itself
        if (res.status == 413) return fail(res, 413, "the request is larger than 1 MiB");
        if (res.status == 404) return fail(res, 404, "no such path; use POST /improve");
        fail(res, res.status, "request refused");
    });
}

}  // namespace quillberry::service
