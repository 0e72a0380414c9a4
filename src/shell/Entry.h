#pragma once

#include <memory>

#include "shell/AppDelegate.h"

namespace quillberry {

class Application;

// Process-wide state, set by the entry routine before the event loop starts.
extern int runningApps;
extern Application* app;
extern std::unique_ptr<AppDelegate> delegate;

// The process entry once a platform is installed: single-instance guard, the one
// delegate, then the event loop. Returns the exit status.
int applicationMain();

}  // namespace quillberry
