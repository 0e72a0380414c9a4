#pragma once
// What kind of help a request asks for, which picks the built-in improver's role and
// expected output.

#include <string>

namespace quillberry::service {

enum class RequestKind { Generic, Mail, Code, Summary, Translation, Creative, Explanation };

RequestKind classifyRequest(const std::string& request);

}  // namespace quillberry::service
