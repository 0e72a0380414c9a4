#pragma once
// The one seam between Quillberry's behaviour and the machine. Each service has a header
// of its own beside this one; nothing there names a toolkit type. The core speaks its own
// vocabulary (key code 32, modifier mask 256, alert styles 1/2, answers 1000+, frames
// with a bottom-left origin) and each backend translates.

namespace quillberry {

class Application;
class MainQueue;
class StatusBar;
class Resources;
class Images;
class Defaults;
class Alerts;
class Pasteboard;
class SelectionCopy;
class Accessibility;
class Hotkeys;
class Http;
class Workspace;
class ViewKit;

class Platform {
public:
    virtual ~Platform() = default;
    virtual Application& application() = 0;
    virtual MainQueue& mainQueue() = 0;
    virtual StatusBar& statusBar() = 0;
    virtual Resources& resources() = 0;
    virtual Images& images() = 0;
    virtual Defaults& defaults() = 0;
    virtual Alerts& alerts() = 0;
    virtual Pasteboard& pasteboard() = 0;
    virtual SelectionCopy& selectionCopy() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual Hotkeys& hotkeys() = 0;
    virtual Http& http() = 0;
    virtual Workspace& workspace() = 0;
    virtual ViewKit& viewKit() = 0;
};

// The installed platform. `main` installs the real one, each test a fresh fake.
Platform& platform();
void installPlatform(Platform* platform);

}  // namespace quillberry
