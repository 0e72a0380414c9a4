#include "service/ServiceClient.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "config/Constants.h"
#include "platform/Platform.h"

namespace quillberry {

namespace {

// Reads the top-level "improved_prompt" as the parser streams past, keeping nothing else:
// a reply's other members, however large, never become a tree in memory. The parser is
// iterative, and nesting past MAX_JSON_DEPTH stops it.
class PromptReader : public nlohmann::json_sax<nlohmann::json> {
public:
    std::optional<std::string> prompt;  // the last "improved_prompt" seen, when a string
    bool topIsObject = false;

    bool null() override { return scalar(); }
    bool boolean(bool) override { return scalar(); }
    bool number_integer(number_integer_t) override { return scalar(); }
    bool number_unsigned(number_unsigned_t) override { return scalar(); }
    bool number_float(number_float_t, const string_t&) override { return scalar(); }
    bool binary(binary_t&) override { return scalar(); }
    bool string(string_t& value) override {
        if (wanted_) prompt = std::move(value), wanted_ = false;
        return true;
    }
    bool key(string_t& name) override {
        wanted_ = depth_ == 1 && name == "improved_prompt";
        return true;
    }
    bool start_object(std::size_t) override {
        if (depth_ == 0) topIsObject = true;
        return scalar() && ++depth_ <= MAX_JSON_DEPTH;
    }
    bool start_array(std::size_t) override { return scalar() && ++depth_ <= MAX_JSON_DEPTH; }
    bool end_object() override { return --depth_, true; }
    bool end_array() override { return --depth_, true; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    // A later duplicate that is not a string replaces an earlier string, as in a tree.
    bool scalar() {
        if (wanted_) prompt.reset(), wanted_ = false;
        return true;
    }
    int depth_ = 0;
    bool wanted_ = false;
};

}  // namespace

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
    PromptReader reader;
    if (!nlohmann::json::sax_parse(body, &reader) || !reader.topIsObject || !reader.prompt) return std::nullopt;
    // An escaped \u0000 would cut the text short in most programs it is pasted into.
    if (reader.prompt->find('\0') != std::string::npos) return std::nullopt;
    return std::move(reader.prompt);
}

std::optional<std::string> interpretReply(const HttpResponse& response) {
    if (response.transportError || !response.body || !response.status) return std::nullopt;
    if (*response.status != 200) return std::nullopt;
    return improvedPromptFromBody(*response.body);
}

void callServer(const std::string& text, const std::string& email, ServiceCompletion completion) {
    // The service refuses bodies over its limit: such a text never leaves the machine, and a
    // huge clipboard is not escaped and copied for nothing.
    if (text.size() > MAX_REQUEST_BYTES) return completion(std::nullopt);
    HttpRequest request = buildImproveRequest(text, email);
    if (request.body && request.body->size() > MAX_REQUEST_BYTES) return completion(std::nullopt);
    platform().http().post(std::move(request), [completion = std::move(completion)](HttpResponse response) {
        completion(interpretReply(response));
    });
}

}  // namespace quillberry
