#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace quillberry {

class Application {
public:
    virtual ~Application() = default;
    // Calls didFinishLaunching once the event loop is running, then runs it.
    virtual int run(std::function<void()> didFinishLaunching) = 0;
    virtual void terminate() = 0;
    // Brings the application in front of other applications.
    virtual void activateIgnoringOtherApps() = 0;
    // Instances of the application with this bundle id running now, this process included.
    virtual int runningInstanceCount(const std::string& bundleId) = 0;
};

// Callable from any thread; the work always runs later on the main thread, in order.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    virtual void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

}  // namespace quillberry
