#include "hotkey/Shortcut.h"

namespace quillberry {

std::string shortcutText() { return withPrimaryModifier(DEFAULT_SHORTCUT_KEY); }

}  // namespace quillberry
