#pragma once
// Another program's X11 selection (CLIPBOARD or PRIMARY) as text, read over a connection of its
// own, which watches the owner's window while it waits: an owner that goes away unanswered ends
// the read at once, where Qt's would wait out its whole limit.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace quillberry::qt {

// The text (UTF-8; a Latin-1 STRING is converted) of the selection named `selection`; absent
// when no one holds it, it holds no text, its owner went away, or took more than `limit` between
// two answers. A text past `cap` bytes is cut to cap + 1 bytes, so that it stays too long.
std::optional<std::string> readX11Selection(const char* selection, std::chrono::milliseconds limit,
                                            std::size_t cap = std::size_t(64) << 20);

}  // namespace quillberry::qt
