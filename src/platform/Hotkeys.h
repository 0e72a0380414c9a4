#pragma once

#include <functional>
#include <optional>
#include <string>

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
    // The shortcut in force as the desktop or the user named it; absent: the one registered.
    virtual std::optional<std::string> shortcutDescription() = 0;
    // Offers the user the desktop's way to choose another shortcut.
    virtual void changeShortcut() = 0;
    // Called on the main queue whenever the shortcut in force changes, whoever changed it.
    virtual void setShortcutChangedHandler(std::function<void()> changed) = 0;
};

}  // namespace quillberry
