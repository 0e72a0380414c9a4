#pragma once
// The protocol between the app and the optimisation service, and nothing else.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "config/Limits.h"
#include "platform/Http.h"

namespace quillberry {

// The reply's "improved_prompt", or absent for any failure.
using ServiceCompletion = std::function<void(std::optional<std::string>)>;

// Why there is no improved prompt, where the user can do something about it.
enum class ServiceFailure {
    Other,
    LocalServiceDown,  // the service is on this machine and nothing listens on its port
};
struct ServiceResult {
    std::optional<std::string> improvedPrompt;
    ServiceFailure failure = ServiceFailure::Other;  // without a prompt only
};

// POSTs {"prompt": text, "email": email} to SERVER_URL + "/improve". Returns at once;
// `completion` runs exactly once, on the HTTP layer's background thread, or before the
// return, with absent, when the body would exceed MAX_REQUEST_BYTES.
void callServer(const std::string& text, const std::string& email, ServiceCompletion completion);
// The same request, telling why it failed.
void callService(const std::string& text, const std::string& email, std::function<void(ServiceResult)> completion);

// Whether SERVER_URL names this machine (a loopback address or "localhost").
bool serviceIsLocal(std::string_view url);

// The request callServer sends. Text that is not valid UTF-8 cannot be encoded as JSON:
// the request then goes out with no body and the service decides.
HttpRequest buildImproveRequest(const std::string& text, const std::string& email);

// The reply rules: HTTP 200 and a JSON object whose "improved_prompt" is a string.
std::optional<std::string> interpretReply(const HttpResponse& response);

// Decodes a reply body without building a tree of it. Refuses nesting deeper than
// MAX_JSON_DEPTH and a prompt holding a NUL character.
std::optional<std::string> improvedPromptFromBody(std::string_view body);

}  // namespace quillberry
