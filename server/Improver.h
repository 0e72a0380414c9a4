#pragma once
// How the reference service turns a raw request into a better prompt. Two improvers sit
// behind one interface: a deterministic built-in rewriter and a forwarder to any
// OpenAI-compatible chat-completions endpoint.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace quillberry::service {

class Improver {
public:
    virtual ~Improver() = default;
    // The improved prompt, or absent when the improver could not produce one.
    virtual std::optional<std::string> improve(const std::string& prompt) = 0;
};

enum class Language { French, English };

// Guesses the language of a request from its words and accents; French wins ties, as
// the app's users write French first.
Language detectLanguage(const std::string& text);

// Rewrites a request into a structured prompt for an AI assistant (role, context, task,
// constraints, output format, an invitation to ask for what is missing) in the
// request's language, keeping the user's text whole.
class BuiltinImprover : public Improver {
public:
    std::optional<std::string> improve(const std::string& prompt) override;
};

struct UpstreamConfig {
    std::string baseUrl;  // scheme://host[:port][/prefix]; "/v1/chat/completions" is appended
    std::string model = "gpt-4o-mini";
    std::string apiKey;                // sent as a bearer token when not empty
    std::chrono::seconds timeout{45};  // for the whole call
};

// The largest upstream reply read; a longer one fails the request.
inline constexpr std::size_t MAX_UPSTREAM_REPLY_BYTES = std::size_t(4) << 20;

// Where an upstream base URL leads, read by the HTTP client's own parser: absent when the
// client could not use it (a user name, a port that is not one, an address out of range, a
// space), so that such a URL stops the service at start instead of failing every request.
struct UpstreamTarget {
    std::string origin;  // scheme://host:port, as the client is given it
    std::string host;    // without brackets, lower case
    std::string path;    // the chat-completions path
};
std::optional<UpstreamTarget> upstreamTarget(const std::string& baseUrl);

// Forwards to an OpenAI-compatible /v1/chat/completions endpoint. `timeout` bounds each call
// as a whole.
class UpstreamImprover : public Improver {
public:
    explicit UpstreamImprover(UpstreamConfig config) : config_(std::move(config)) {}
    std::optional<std::string> improve(const std::string& prompt) override;

private:
    UpstreamConfig config_;
};

extern const char* const UPSTREAM_SYSTEM_PROMPT;

}  // namespace quillberry::service
