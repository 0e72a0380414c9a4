#pragma once
// The one place that names keys to the user: every text that tells which keys to press is
// built from these, the backend's included.

#include <string>
#include <string_view>

namespace quillberry {

// The primary modifier as the keyboard labels it. A Linux keyboard has no Command key: the
// primary modifier is Control.
inline constexpr std::string_view PRIMARY_MODIFIER = "Ctrl";
// The key of the default shortcut, with the primary modifier.
inline constexpr std::string_view DEFAULT_SHORTCUT_KEY = "U";

// A key with the primary modifier, as texts write it: "Ctrl+C".
inline std::string withPrimaryModifier(std::string_view key) {
    return std::string(PRIMARY_MODIFIER) + "+" + std::string(key);
}

}  // namespace quillberry
