#pragma once

#include <string>

#include "config/Keys.h"

namespace quillberry {

// The shortcut that runs the main job now, as the user presses it: every text that names it
// is built from this.
std::string shortcutText();

}  // namespace quillberry
