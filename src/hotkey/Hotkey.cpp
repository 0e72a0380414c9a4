#include "hotkey/Hotkey.h"

#include "platform/Platform.h"
#include "shell/AppDelegate.h"

namespace quillberry {

namespace {
constexpr int HOTKEY_ID = 1;
constexpr int NO_ERR = 0;
}  // namespace

int hotkeyCallback(AppDelegate* userData) {
    platform().mainQueue().async([userData] { userData->handleHotkey(); });
    return NO_ERR;
}

void registerGlobalHotkey(AppDelegate& delegate) {
    auto& hotkeys = platform().hotkeys();
    hotkeys.installHandler([target = &delegate] { hotkeyCallback(target); });
    delegate.hotKeyRef = hotkeys.registerHotkey(KEY_CODE_U, MODIFIER_COMMAND, HOTKEY_ID);
}

}  // namespace quillberry
