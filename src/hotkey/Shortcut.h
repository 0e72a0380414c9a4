#pragma once

#include <string>

#include "config/Keys.h"

namespace quillberry {

// The shortcut that runs the main job now, as the user presses it: every text that names it
// is built from this. Ctrl+U unless the user or the desktop chose another.
std::string shortcutText();

}  // namespace quillberry
