#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillberry {

// Always a POST: the one request the app makes.
struct HttpRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> body;
    std::chrono::seconds timeout{60};  // idle limit: time without receiving data
};

struct HttpResponse {
    bool transportError = false;
    std::optional<int> status;        // absent: no HTTP response object
    std::optional<std::string> body;  // absent: no body data delivered
    bool refused = false;             // with transportError: the host said nothing listens on the port
};

class Http {
public:
    virtual ~Http() = default;
    // Returns at once; `completion` runs exactly once, never on the calling thread's
    // event loop, typically on a background thread.
    virtual void post(HttpRequest request, std::function<void(HttpResponse)> completion) = 0;
};

// Opens links with the desktop's handler.
class Workspace {
public:
    virtual ~Workspace() = default;
    virtual bool openUrl(const std::string& url) = 0;
};

}  // namespace quillberry
