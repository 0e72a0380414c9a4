#pragma once

#include <functional>
#include <optional>

namespace quillberry {

// Installs the handler and registers the shortcut (Ctrl+U). Every press later calls `onPress` on the main
// queue. Returns the registration's handle; a refusal is ignored and yields absent.
// `onChanged` runs on the main queue whenever the user or the desktop changes the shortcut.
std::optional<int> registerGlobalHotkey(std::function<void()> onPress, std::function<void()> onChanged);

// Called by the platform for every press: posts one call of `onPress` to the main queue
// and returns at once, so the press never runs inside the event dispatch.
int hotkeyCallback(const std::function<void()>& onPress);

}  // namespace quillberry
