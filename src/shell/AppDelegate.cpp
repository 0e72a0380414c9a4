#include "shell/AppDelegate.h"

#include <map>

#include "account/EmailPrompt.h"
#include "account/Preferences.h"
#include "commands/Commands.h"
#include "hotkey/Hotkey.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Application.h"
#include "platform/Hotkeys.h"
#include "platform/Platform.h"
#include "shell/StatusMenu.h"

namespace quillberry {

AppDelegate::AppDelegate()
    : flow({[this] {
                if (statusItem) applyProcessingLook(*statusItem);
            },
            [this] { setMenuBarIcon(); }}) {}

void AppDelegate::applicationDidFinishLaunching() {
    statusItem = platform().statusBar().makeStatusItem();
    applyIdleLook(*statusItem, IdleLookTitle::LeaveOnImagePath);
    attachMenu();
    // The menu names the shortcut: built again when it changes.
    hotKeyRef = registerGlobalHotkey([this] { handleHotkey(); }, [this] { attachMenu(); });
    if (!isOnboardingDone()) showOnboarding([](const std::optional<std::string>&) {});
}

void AppDelegate::attachMenu() {
    if (statusItem) attachStatusMenu(*statusItem, [this](const std::string& action) { perform(action); });
}

void AppDelegate::changeEmailAction() { changeEmail(); }
void AppDelegate::changeShortcut() { platform().hotkeys().changeShortcut(); }
void AppDelegate::logoutAction() { logout(); }
void AppDelegate::showHelp() { openInstructions(); }
void AppDelegate::openSupport() { openSupportLink(); }
void AppDelegate::enableAutoMode() { offerAutomaticMode(); }
void AppDelegate::quitApp() { platform().application().terminate(); }
void AppDelegate::handleHotkey() { flow.handleHotkey(); }

void AppDelegate::setMenuBarIcon() {
    if (statusItem) applyIdleLook(*statusItem, IdleLookTitle::ClearOnImagePath);
}

bool AppDelegate::perform(const std::string& action) {
    using Command = void (AppDelegate::*)();
    static const std::map<std::string, Command> commands = {
        {"changeEmailAction", &AppDelegate::changeEmailAction},
        {"changeShortcut", &AppDelegate::changeShortcut},
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
