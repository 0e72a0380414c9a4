#pragma once
// The few string members a message of the app's protocol carries, read as the JSON parser
// streams past: the rest of a body, however large, never becomes a tree in memory. The app
// reads the service's reply with it, and the reference service the app's request.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillberry {

// The top-level members named `names` of the JSON object `body`, in that order: each one's
// string, or absent when it is missing or not a string (a later duplicate wins, as in a
// tree). Absent altogether when `body` is not valid JSON, not an object, or nests arrays and
// objects deeper than MAX_JSON_DEPTH.
std::optional<std::vector<std::optional<std::string>>> topLevelStrings(std::string_view body,
                                                                       const std::vector<std::string_view>& names);

}  // namespace quillberry
