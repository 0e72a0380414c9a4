// libFuzzer target: no body, however hostile, may crash the reply interpreter, and a
// success must be text the clipboard can take: valid UTF-8 (encoding it as JSON throws,
// and so aborts the run, on anything else).
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "service/ServiceClient.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view body(reinterpret_cast<const char*>(data), size);
    if (auto prompt = quillberry::improvedPromptFromBody(body)) (void)nlohmann::json(*prompt).dump();
    return 0;
}
