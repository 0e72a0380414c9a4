#pragma once

#include <vector>

#include "platform/Platform.h"

namespace quillberry {

class AppDelegate;

// The status menu, in order. It never changes after launch.
const std::vector<MenuItem>& statusMenuItems();

// Builds the menu with `target` receiving every command and attaches it to `item`.
void attachStatusMenu(AppDelegate& target, StatusItem& item);

enum class IdleLookTitle { LeaveOnImagePath, ClearOnImagePath };

// Puts the idle look on the item's button: the icon read afresh from the bundle, or the
// title "Q" when it cannot be read. Launch leaves a new button's empty title alone;
// later calls clear the "..." of the processing look.
void applyIdleLook(StatusItem& item, IdleLookTitle titleRule);

// Image removed first, then the title, so there is never an icon beside "...".
void applyProcessingLook(StatusItem& item);

}  // namespace quillberry
