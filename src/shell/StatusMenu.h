#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/StatusBar.h"

namespace quillberry {

// The status menu, in order, naming the shortcut in force now.
std::vector<MenuItem> statusMenuItems();

// Builds the menu and attaches it to `item`; a chosen command calls `perform` by name.
void attachStatusMenu(StatusItem& item, std::function<void(const std::string& action)> perform);

enum class IdleLookTitle { LeaveOnImagePath, ClearOnImagePath };

// Puts the idle look on the item's button: the icon read afresh from the bundle, or the
// title "Q" when it cannot be read. Launch leaves a new button's empty title alone;
// later calls clear the "..." of the processing look.
void applyIdleLook(StatusItem& item, IdleLookTitle titleRule);

// Image removed first, then the title, so there is never an icon beside "...".
void applyProcessingLook(StatusItem& item);

}  // namespace quillberry
