#include "hotkey/Hotkey.h"

#include "platform/Application.h"
#include "platform/Hotkeys.h"
#include "platform/Platform.h"

namespace quillberry {

namespace {
constexpr int HOTKEY_ID = 1;
constexpr int NO_ERR = 0;
}  // namespace

int hotkeyCallback(const std::function<void()>& onPress) {
    platform().mainQueue().async(onPress);
    return NO_ERR;
}

std::optional<int> registerGlobalHotkey(std::function<void()> onPress, std::function<void()> onChanged) {
    Hotkeys& hotkeys = platform().hotkeys();
    hotkeys.installHandler([onPress = std::move(onPress)] { hotkeyCallback(onPress); });
    hotkeys.setShortcutChangedHandler(std::move(onChanged));
    return hotkeys.registerHotkey(KeyCode::U, ModifierMask::Command, HOTKEY_ID);
}

}  // namespace quillberry
