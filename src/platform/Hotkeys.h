#pragma once

#include <functional>
#include <optional>

namespace quillberry {

// Key positions and modifiers in the core's own vocabulary; a backend translates them.
enum class KeyCode : int { U = 32 };
enum class ModifierMask : int { Command = 256 };

class Hotkeys {
public:
    virtual ~Hotkeys() = default;
    // The handler may be called on any thread; it must only post work.
    virtual bool installHandler(std::function<void()> onPressed) = 0;
    // Returns a handle, or absent when the system refused the key.
    virtual std::optional<int> registerHotkey(KeyCode key, ModifierMask modifiers, int id) = 0;
};

}  // namespace quillberry
