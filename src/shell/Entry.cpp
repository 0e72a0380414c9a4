#include "shell/Entry.h"

#include "config/Constants.h"
#include "platform/Application.h"
#include "platform/Platform.h"

namespace quillberry {

int runningApps = 0;
Application* app = nullptr;
std::unique_ptr<AppDelegate> delegate;

int applicationMain() {
    Application& application = platform().application();
    runningApps = application.runningInstanceCount(std::string(BUNDLE_ID));
    // The starting process counts itself, so two means someone else is already here.
    // End silently: no item, no hotkey, no word to the running instance.
    if (runningApps >= 2) {
        application.terminate();
        return 0;
    }
    app = &application;
    delegate = std::make_unique<AppDelegate>();
    return app->run([] { delegate->applicationDidFinishLaunching(); });
}

}  // namespace quillberry
