#pragma once
// A recording platform for the core's tests: everything the core does to the machine
// becomes plain data, time is virtual, and alerts and HTTP replies come from the test.

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "platform/Platform.h"
#include "FakeViews.h"

namespace quillberry::fake {

class FakeImage : public Image {
public:
    explicit FakeImage(std::string p) : path(std::move(p)) {}
    void setTemplate(bool t) override { isTemplate = t; }
    void setSize(double w, double h) override { width = w, height = h; }
    std::string path;
    bool isTemplate = true;
    double width = 0, height = 0;
};

class FakeStatusButton : public StatusButton {
public:
    void setImage(std::shared_ptr<Image> i) override { image = std::move(i); }
    void setTitle(const std::string& t) override { title = t; }
    std::shared_ptr<Image> image;
    std::string title;
};

class FakeStatusItem : public StatusItem {
public:
    StatusButton* button() override { return &buttonState; }
    void setMenu(std::vector<MenuItem> items, std::function<void(const std::string&)> perform) override {
        menu = std::move(items);
        performAction = std::move(perform);
    }
    // Chooses the item with this title, as a click would. False when it cannot be chosen.
    bool choose(const std::string& title);
    FakeStatusButton buttonState;
    std::vector<MenuItem> menu;
    std::function<void(const std::string&)> performAction;
};

class FakeMainQueue : public MainQueue {
public:
    void async(std::function<void()> work) override { asyncAfter(std::chrono::milliseconds(0), std::move(work)); }
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) override;
    // Runs every item due at the current virtual time, including ones they post.
    void runUntilIdle();
    void advance(std::chrono::milliseconds by);
    std::chrono::milliseconds now{0};

private:
    struct Item { std::chrono::milliseconds due; uint64_t seq; std::function<void()> work; };
    std::vector<Item> items;
    uint64_t nextSeq = 0;
};

struct RecordedAlert {
    AlertSpec spec;
    AlertAnswer answer;
};

class FakeAlerts : public Alerts {
public:
    AlertAnswer runModal(const AlertSpec& spec) override;
    // Answers in order; with none scripted, the first button is chosen.
    std::deque<std::function<AlertAnswer(const AlertSpec&)>> script;
    void answer(int response, std::string fieldText = "") {
        script.push_back([=](const AlertSpec&) { return AlertAnswer{response, fieldText}; });
    }
    std::vector<RecordedAlert> shown;
};

class FakePasteboard : public Pasteboard {
public:
    std::optional<std::string> stringForType() override { return text; }
    void clearContents() override { text.reset(), ++writes; }
    void replaceWithString(const std::string& t) override { text = t, ++writes; }
    std::optional<std::string> text;
    int writes = 0;
};

struct FakeHttpCall {
    HttpRequest request;
    std::function<void(HttpResponse)> completion;
};

class FakeHttp : public Http {
public:
    void post(HttpRequest request, std::function<void(HttpResponse)> completion) override {
        calls.push_back({std::move(request), std::move(completion)});
    }
    // Completes the oldest open call with this reply.
    void respond(HttpResponse response);
    void respond(int status, std::string body) { respond(HttpResponse{false, status, std::move(body)}); }
    std::deque<FakeHttpCall> calls;
};


class FakeViewKit;

class FakeWindow : public Window {
public:
    explicit FakeWindow(FakeViewKit& kit, Rect content, int style);
    View* contentView() override;
    void center() override { centered = true; }
    void setReleasedWhenClosed(bool r) override { releasedWhenClosed = r; }
    void setTitlebarAppearsTransparent(bool t) override { titlebarTransparent = t; }
    void setTitleVisibility(int v) override { titleVisibility = v; }
    void setBackgroundColor(const Color& c) override { background = c; }
    void makeKeyAndOrderFront() override { visible = true, key = true; }
    void close() override;
    bool isVisible() const override { return visible; }
    void retainWhileOpen(std::shared_ptr<void> owner) override { retained = std::move(owner); }

    FakeViewKit& kit;
    Rect contentRect;
    int styleMask;
    std::unique_ptr<FakeView> content;
    bool centered = false, releasedWhenClosed = true, titlebarTransparent = false;
    int titleVisibility = 0;
    Color background;
    bool visible = false, key = false;
    std::shared_ptr<void> retained;
};

class FakeViewKit : public ViewKit {
public:
    std::unique_ptr<Window> makeWindow(const Rect& contentRect, int styleMask) override;
    std::unique_ptr<View> makeView(const Rect& frame) override;
    std::unique_ptr<TextField> makeLabel(const std::string& text) override;
    std::unique_ptr<TextField> makeTextField(const Rect& frame) override;
    std::unique_ptr<Button> makeButton() override;
    std::unique_ptr<StackView> makeStackView() override;
    std::vector<FakeWindow*> windows;  // every window made, alive or not
    std::set<FakeWindow*> alive;
    MainQueue* queue = nullptr;
};

class FakePlatform : public Platform, public Application, public StatusBar, public Resources,
                     public Images, public Defaults, public SelectionCopy, public Accessibility,
                     public Hotkeys, public Workspace {
public:
    FakePlatform();
    ~FakePlatform() override;

    Application& application() override { return *this; }
    MainQueue& mainQueue() override { return queue; }
    StatusBar& statusBar() override { return *this; }
    Resources& resources() override { return *this; }
    Images& images() override { return *this; }
    Defaults& defaults() override { return *this; }
    Alerts& alerts() override { return alertBox; }
    Pasteboard& pasteboard() override { return board; }
    SelectionCopy& selectionCopy() override { return *this; }
    Accessibility& accessibility() override { return *this; }
    Hotkeys& hotkeys() override { return *this; }
    Http& http() override { return web; }
    Workspace& workspace() override { return *this; }
    ViewKit& viewKit() override { return kit; }

    // Application
    int run(std::function<void()> didFinishLaunching) override { ++runs, didFinishLaunching(); return 0; }
    void terminate() override { ++terminations; }
    void activateIgnoringOtherApps() override { ++activations; }
    int runningInstanceCount(const std::string& bundleId) override { askedBundleId = bundleId; return instances; }

    // StatusBar
    std::unique_ptr<StatusItem> statusItemWithLength(double length) override;

    // Resources and images
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) override;
    std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path) override;

    // Defaults
    std::optional<std::string> stringForKey(const std::string& key) override;
    bool boolForKey(const std::string& key) override;
    void setString(const std::string& key, const std::string& value) override { strings[key] = value, bools.erase(key); }
    void setBool(const std::string& key, bool value) override { bools[key] = value, strings.erase(key); }
    void removeObject(const std::string& key) override { strings.erase(key), bools.erase(key); }

    // Selection and trust
    void copySelection() override;
    bool isProcessTrusted() override { return trusted; }
    bool isProcessTrustedWithPrompt() override { ++trustPrompts; return trusted; }

    // Hotkeys
    bool installHandler(std::function<void()> onPressed) override { hotkeyHandler = std::move(onPressed); return true; }
    std::optional<int> registerHotkey(int keyCode, int modifiers, int id) override;

    // Workspace
    bool openUrl(const std::string& url) override { openedUrls.push_back(url); return true; }

    void answer(int response, std::string fieldText = "") { alertBox.answer(response, std::move(fieldText)); }

    // Recorded state and knobs
    int instances = 1, runs = 0, terminations = 0, activations = 0, trustPrompts = 0;
    std::string askedBundleId;
    FakeStatusItem* item = nullptr;  // the last status item made
    int statusItemsMade = 0;
    bool iconPresent = true, iconReadable = true;
    std::map<std::string, std::string> strings;
    std::map<std::string, bool> bools;
    bool trusted = false;
    std::optional<std::string> selection;  // what the frontmost application has selected
    std::function<void()> hotkeyHandler;
    bool refuseHotkey = false;
    std::vector<std::tuple<int, int, int>> registeredHotkeys;
    std::vector<std::string> openedUrls;

    FakeMainQueue queue;
    FakeAlerts alertBox;
    FakePasteboard board;
    FakeHttp web;
    FakeViewKit kit;
};

}  // namespace quillberry::fake
