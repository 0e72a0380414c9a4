#include "service/ServiceClient.h"

#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>

#include "config/Constants.h"
#include "platform/Platform.h"

namespace quillberry {

namespace {

// Depth of the deepest array/object, counted outside strings; stops early once past
// `limit`. Linear and allocation-free, so hostile input costs no more than its length.
bool nestingWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) escaped = false;
            else if (c == '\\') escaped = true;
            else if (c == '"') inString = false;
            continue;
        }
        if (c == '"') inString = true;
        else if (c == '{' || c == '[') {
            if (++depth > limit) return false;
        } else if (c == '}' || c == ']') --depth;
    }
    return true;
}

}  // namespace

HttpRequest buildImproveRequest(const std::string& text, const std::string& email) {
    HttpRequest request;
    request.url = std::string(SERVER_URL) + "/improve";
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json"}};
    request.timeout = std::chrono::seconds(60);
    nlohmann::json body = {{"prompt", text}, {"email", email}};
    try {
        request.body = body.dump();  // compact, no pretty printing
    } catch (const nlohmann::json::type_error&) {
        request.body.reset();        // invalid UTF-8: nothing sensible to encode
    }
    return request;
}

std::optional<std::string> improvedPromptFromBody(std::string_view body) {
    if (std::memchr(body.data(), '\0', body.size()) != nullptr) return std::nullopt;
    if (!nestingWithin(body, MAX_JSON_DEPTH)) return std::nullopt;
    nlohmann::json reply = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
    if (reply.is_discarded() || !reply.is_object()) return std::nullopt;
    auto member = reply.find("improved_prompt");
    if (member == reply.end() || !member->is_string()) return std::nullopt;
    return std::move(member->get_ref<std::string&>());
}

std::optional<std::string> interpretReply(const HttpResponse& response) {
    if (response.transportError || !response.body || !response.status) return std::nullopt;
    if (*response.status != 200) return std::nullopt;
    return improvedPromptFromBody(*response.body);
}

void callServer(const std::string& text, const std::string& email, ServiceCompletion completion) {
    platform().http().post(buildImproveRequest(text, email),
                           [completion = std::move(completion)](HttpResponse response) {
                               completion(interpretReply(response));
                           });
}

}  // namespace quillberry
