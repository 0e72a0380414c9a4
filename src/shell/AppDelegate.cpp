#include "shell/AppDelegate.h"

#include <map>

#include "account/Preferences.h"
#include "hotkey/Hotkey.h"
#include "onboarding/OnboardingWindow.h"
#include "shell/StatusMenu.h"

namespace quillberry {

void AppDelegate::applicationDidFinishLaunching() {
    statusItem = platform().statusBar().statusItemWithLength(StatusBar::VARIABLE_LENGTH);
    applyIdleLook(*statusItem, IdleLookTitle::LeaveOnImagePath);
    attachStatusMenu(*this, *statusItem);
    registerGlobalHotkey(*this);
    if (!isOnboardingDone()) {
        showOnboarding([](const std::optional<std::string>&) {});
    }
}

bool AppDelegate::perform(const std::string& action) {
    using Command = void (AppDelegate::*)();
    static const std::map<std::string, Command> commands = {
        {"changeEmailAction", &AppDelegate::changeEmailAction},
        {"logoutAction", &AppDelegate::logoutAction},
        {"showHelp", &AppDelegate::showHelp},
        {"openSupport", &AppDelegate::openSupport},
        {"enableAutoMode", &AppDelegate::enableAutoMode},
        {"quitApp", &AppDelegate::quitApp},
    };
    auto found = commands.find(action);
    if (found == commands.end()) return false;
    (this->*found->second)();
    return true;
}

}  // namespace quillberry
