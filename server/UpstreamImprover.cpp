#include <arpa/inet.h>
#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <nlohmann/json.hpp>

#include "Improver.h"

namespace quillberry::service {

const char* const UPSTREAM_SYSTEM_PROMPT =
    "You improve prompts for AI assistants. Rewrite the user's message into one clear, complete, "
    "well-structured prompt: give the assistant a role, the context, the precise task, the "
    "constraints and the expected output format, and invite it to ask for missing information. "
    "Keep every detail the user gave, invent nothing, and write in the user's language. Answer "
    "with the improved prompt only, with no preamble and no commentary.";

namespace {

bool isName(const std::string& host) {
    return std::all_of(host.begin(), host.end(),
                       [](char c) { return std::isalnum((unsigned char)c) || c == '.' || c == '-'; }) &&
           host.front() != '.' && host.back() != '.' && host.find("..") == std::string::npos;
}

}  // namespace

std::optional<UpstreamTarget> upstreamTarget(const std::string& baseUrl) {
    httplib::detail::UrlComponents url;
    if (!httplib::detail::parse_url(baseUrl, url) || (url.scheme != "http" && url.scheme != "https") ||
        url.host.empty() || !url.query.empty() || baseUrl.find('#') != std::string::npos)
        return std::nullopt;
    std::string host = url.host;
    std::transform(host.begin(), host.end(), host.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    in6_addr address;
    const bool v6 = baseUrl.find("://[") != std::string::npos;
    // Digits and dots alone are an IPv4 address, which the resolver would otherwise take as a
    // name and fail to find at every request.
    const bool numeric = host.find_first_not_of("0123456789.") == std::string::npos;
    if (v6        ? inet_pton(AF_INET6, host.c_str(), &address) != 1
        : numeric ? inet_pton(AF_INET, host.c_str(), &address) != 1
                  : !isName(host))
        return std::nullopt;
    int port = url.scheme == "https" ? 443 : 80;
    if (!url.port.empty()) {
        const auto [end, error] = std::from_chars(url.port.data(), url.port.data() + url.port.size(), port);
        if (error != std::errc() || end != url.port.data() + url.port.size() || port < 1 || port > 65535)
            return std::nullopt;
    }
    std::string prefix = url.path;
    if (std::any_of(prefix.begin(), prefix.end(), [](unsigned char c) { return c <= ' ' || c >= 0x7f; }))
        return std::nullopt;
    while (!prefix.empty() && prefix.back() == '/') prefix.pop_back();
    if (prefix.size() >= 3 && prefix.compare(prefix.size() - 3, 3, "/v1") == 0) prefix.resize(prefix.size() - 3);
    const std::string authority = v6 ? "[" + host + "]" : host;
    return UpstreamTarget{url.scheme + "://" + authority + ":" + std::to_string(port), host,
                          prefix + "/v1/chat/completions"};
}

std::optional<std::string> UpstreamImprover::improve(const std::string& prompt) {
    auto target = upstreamTarget(config_.baseUrl);
    if (!target) return std::nullopt;
    httplib::Client client(target->origin);
    client.set_connection_timeout(config_.timeout);
    client.set_read_timeout(config_.timeout);
    client.set_write_timeout(config_.timeout);
    // Never followed: a redirect would carry the key and the prompt to wherever it points.
    client.set_follow_location(false);
    client.enable_server_certificate_verification(true);
    // Read as it comes, never inflated and never past the limit: a reply is a few kilobytes.
    client.set_decompress(false);
    httplib::Request req;
    req.method = "POST", req.path = target->path;
    req.headers = {{"Content-Type", "application/json"}, {"Accept-Encoding", "identity"}};
    if (!config_.apiKey.empty()) req.headers.emplace("Authorization", "Bearer " + config_.apiKey);
    req.body =
        nlohmann::json{
            {"model", config_.model},
            {"temperature", 0.2},
            {"messages", nlohmann::json::array({{{"role", "system"}, {"content", UPSTREAM_SYSTEM_PROMPT}},
                                                {{"role", "user"}, {"content", prompt}}})},
        }
            .dump();
    std::string body;
    req.content_receiver = [&body](const char* data, size_t n, uint64_t, uint64_t) {
        return body.size() + n <= MAX_UPSTREAM_REPLY_BYTES && (body.append(data, n), true);
    };
    // The timeouts above are for each read: one deadline bounds the whole call, however
    // slowly the upstream keeps sending.
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread deadline([&] {
        std::unique_lock lock(mutex);
        if (!ended.wait_for(lock, config_.timeout, [&] { return done; })) client.stop();
    });
    httplib::Response res;
    httplib::Error error = httplib::Error::Success;
    const bool sent = client.send(req, res, error);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_one();
    deadline.join();
    if (!sent || res.status != 200) return std::nullopt;
    auto reply = nlohmann::json::parse(body, nullptr, false);
    if (!reply.is_object()) return std::nullopt;
    auto choices = reply.find("choices");
    if (choices == reply.end() || !choices->is_array() || choices->empty()) return std::nullopt;
    const auto& first = choices->front();
    if (!first.is_object() || !first.contains("message") || !first["message"].is_object()) return std::nullopt;
    const auto& content = first["message"].find("content");
    if (content == first["message"].end() || !content->is_string()) return std::nullopt;
    return content->get<std::string>();
}

}  // namespace quillberry::service
