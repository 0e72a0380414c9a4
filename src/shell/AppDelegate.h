#pragma once

#include <memory>
#include <optional>
#include <string>

#include "flow/OptimisationFlow.h"
#include "platform/StatusBar.h"

namespace quillberry {

// The one object through which the platform and the user reach Quillberry. It wires the
// features together; each command is carried out by the folder that owns it. Lives on
// the main thread for the life of the process.
class AppDelegate {
public:
    AppDelegate();

    std::unique_ptr<StatusItem> statusItem;
    std::optional<int> hotKeyRef;
    OptimisationFlow flow;

    void applicationDidFinishLaunching();

    // Menu commands.
    void changeEmailAction();
    void changeShortcut();
    void logoutAction();
    void showHelp();
    void openSupport();
    void enableAutoMode();
    void quitApp();

    void setMenuBarIcon();
    void handleHotkey();

    // Runs the command named by a menu item. False for a name that is not a command.
    bool perform(const std::string& action);

private:
    void attachMenu();
};

}  // namespace quillberry
