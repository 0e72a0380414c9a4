#include "service/ServiceClient.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "config/Constants.h"
#include "platform/Platform.h"
#include "service/JsonMembers.h"

namespace quillberry {

HttpRequest buildImproveRequest(const std::string& text, const std::string& email) {
    HttpRequest request;
    request.url = std::string(SERVER_URL) + "/improve";
    request.headers = {{"Content-Type", "application/json"}};
    request.timeout = std::chrono::seconds(60);
    nlohmann::json body = {{"prompt", text}, {"email", email}};
    try {
        request.body = body.dump();  // compact, no pretty printing
    } catch (const nlohmann::json::type_error&) {
        request.body.reset();  // invalid UTF-8: nothing sensible to encode
    }
    return request;
}

std::optional<std::string> improvedPromptFromBody(std::string_view body) {
    // The JSON lexer takes a raw NUL for the end of the input, and would accept what follows.
    if (body.find('\0') != std::string_view::npos) return std::nullopt;
    auto members = topLevelStrings(body, {"improved_prompt"});
    if (!members || !members->front()) return std::nullopt;
    // An escaped \u0000 would cut the text short in most programs it is pasted into.
    if (members->front()->find('\0') != std::string::npos) return std::nullopt;
    return std::move(members->front());
}

std::optional<std::string> interpretReply(const HttpResponse& response) {
    if (response.transportError || !response.body || !response.status) return std::nullopt;
    if (*response.status != 200) return std::nullopt;
    return improvedPromptFromBody(*response.body);
}

bool serviceIsLocal(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return false;
    std::string_view host = url.substr(scheme + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    if (host.starts_with("[")) return host.starts_with("[::1]");
    host = host.substr(0, host.find(':'));
    // An address, not a name that merely begins like one ("127.0.0.1.example.com").
    return host == "localhost" ||
           (host.starts_with("127.") && host.find_first_not_of("0123456789.") == std::string_view::npos);
}

void callService(const std::string& text, const std::string& email, std::function<void(ServiceResult)> completion) {
    // The service refuses bodies over its limit: such a text never leaves the machine, and a
    // huge clipboard is not escaped and copied for nothing.
    if (text.size() > MAX_REQUEST_BYTES) return completion({});
    HttpRequest request = buildImproveRequest(text, email);
    if (request.body && request.body->size() > MAX_REQUEST_BYTES) return completion({});
    platform().http().post(std::move(request), [completion = std::move(completion)](HttpResponse response) {
        ServiceResult result{interpretReply(response)};
        if (!result.improvedPrompt && response.refused && serviceIsLocal(SERVER_URL))
            result.failure = ServiceFailure::LocalServiceDown;
        completion(std::move(result));
    });
}

void callServer(const std::string& text, const std::string& email, ServiceCompletion completion) {
    callService(text, email, [completion = std::move(completion)](ServiceResult result) {
        completion(std::move(result.improvedPrompt));
    });
}

}  // namespace quillberry
