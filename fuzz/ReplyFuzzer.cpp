// libFuzzer target: no body, however hostile, may crash the reply interpreter, and a
// success must carry valid UTF-8 text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "service/ServiceClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    auto prompt = quillberry::improvedPromptFromBody(body);
    if (prompt && prompt->size() > size) __builtin_trap();  // cannot grow beyond its source
    return 0;
}
