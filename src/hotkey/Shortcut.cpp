#include "hotkey/Shortcut.h"

#include "platform/Hotkeys.h"
#include "platform/Platform.h"

namespace quillberry {

std::string shortcutText() {
    return platform().hotkeys().shortcutDescription().value_or(withPrimaryModifier(DEFAULT_SHORTCUT_KEY));
}

}  // namespace quillberry
