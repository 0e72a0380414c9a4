#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quillberry {

// The one object through which the platform and the user reach Quillberry. Lives on the
// main thread for the life of the process.
class AppDelegate {
public:
    std::unique_ptr<StatusItem> statusItem;
    bool isProcessing = false;
    std::optional<int> hotKeyRef;

    void applicationDidFinishLaunching();

    // Menu commands.
    void showHelp();
    void openSupport();
    void enableAutoMode();
    void quitApp();
    void changeEmailAction();
    void logoutAction();

    void setMenuBarIcon();
    void handleHotkey();

    // Runs the command named by a menu item. False for a name that is not a command.
    bool perform(const std::string& action);

private:
    void emailCompletion(const std::optional<std::string>& email);
    void captureStep(bool automatic, const std::string& email);
    void resultStep(const std::optional<std::string>& result);
    void endRun();
};

}  // namespace quillberry
