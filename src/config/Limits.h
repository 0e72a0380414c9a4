#pragma once
// The limits of one request, which the app and the reference service both hold to.

#include <cstddef>

namespace quillberry {

// The largest request body the service accepts.
inline constexpr std::size_t MAX_REQUEST_BYTES = std::size_t(1) << 20;
// The deepest nesting of arrays and objects either side reads.
inline constexpr int MAX_JSON_DEPTH = 512;

}  // namespace quillberry
