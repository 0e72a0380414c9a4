#pragma once
// A recording platform for the core's tests: what the core does to the machine becomes
// plain data, time is virtual, and alerts and HTTP replies come from the test. Looks
// (fonts, colours, frames) are not recorded: the backend tests assert them on real widgets.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/Defaults.h"
#include "platform/Hotkeys.h"
#include "platform/Http.h"
#include "platform/Pasteboard.h"
#include "platform/Platform.h"
#include "platform/StatusBar.h"
#include "platform/ViewKit.h"
#include "shell/Entry.h"

namespace quillberry::fake {

struct FakeStatusItem : StatusItem, StatusButton {
    StatusButton* button() override { return this; }
    void setImage(std::shared_ptr<Image> i) override { image = std::move(i); }
    void setTitle(const std::string& t) override { title = t; }
    void setMenu(std::vector<MenuItem> items, std::function<void(const std::string&)>) override {
        menu = std::move(items);
    }
    std::shared_ptr<Image> image;
    std::string title;
    std::vector<MenuItem> menu;
};

class FakeMainQueue : public MainQueue {
public:
    void async(std::function<void()> work) override { asyncAfter(std::chrono::milliseconds(0), std::move(work)); }
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
        items_.emplace(now + delay, std::move(work));  // equal times keep their posting order
    }
    // Runs every item due by `now + by`, in order, including the ones they post.
    void advance(std::chrono::milliseconds by = std::chrono::milliseconds(0));
    std::chrono::milliseconds now{0};

private:
    std::multimap<std::chrono::milliseconds, std::function<void()>> items_;
};

struct FakeHttpCall {
    HttpRequest request;
    std::function<void(HttpResponse)> completion;
};

// Any view: one object answers for a label, a field, a button and a stack. Only what the tests
// read is kept: the text, and a button's action.
struct FakeView : TextField, Button, StackView {
    void setFrame(const Rect&) override {}
    void setHidden(bool) override {}
    void addSubview(View&) override {}
    void setWantsLayer(bool) override {}
    void setLayerCornerRadius(double) override {}
    void setLayerBackgroundColor(const Color&) override {}
    void setFont(const Font&) override {}
    void setTextColor(const Color&) override {}
    void setAlignment(TextAlignment) override {}
    void setBezeled(bool) override {}
    void setEditable(bool) override {}
    void setWordWrap(bool) override {}
    void setPlaceholderString(const std::string&) override {}
    void setStringValue(const std::string& t) override { text = t; }
    std::string stringValue() const override { return text; }
    void setBordered(bool) override {}
    void setContentTintColor(const Color&) override {}
    void setTitle(const std::string&) override {}
    void setAction(const std::string&, std::function<void()> a) override { action = std::move(a); }
    void setSpacing(double) override {}
    void addArrangedSubview(View&, double, double) override {}
    std::string text;
    std::function<void()> action;
};

struct FakeWindow : Window {
    explicit FakeWindow(class FakePlatform& p);
    ~FakeWindow() override;
    View* contentView() override { return static_cast<TextField*>(&content); }
    void center() override {}
    void setTitleHidden(bool) override {}
    void setBackgroundColor(const Color&) override {}
    void makeKeyAndOrderFront() override { visible = true; }
    void makeFirstResponder(View& view) override { firstResponder = &view; }
    void close() override;
    void retainWhileOpen(std::shared_ptr<void> owner) override { retained = std::move(owner); }
    FakePlatform& platform;
    FakeView content;
    bool visible = false;
    View* firstResponder = nullptr;
    std::shared_ptr<void> retained;
};

class FakePlatform : public Platform,
                     Application,
                     StatusBar,
                     Resources,
                     Images,
                     Defaults,
                     Alerts,
                     Pasteboard,
                     SelectionCopy,
                     Accessibility,
                     Hotkeys,
                     Http,
                     Workspace,
                     ViewKit {
public:
    FakePlatform() { installPlatform(this); }
    ~FakePlatform() override { installPlatform(nullptr); }

    Application& application() override { return *this; }
    MainQueue& mainQueue() override { return queue; }
    StatusBar& statusBar() override { return *this; }
    Resources& resources() override { return *this; }
    Images& images() override { return *this; }
    Defaults& defaults() override { return *this; }
    Alerts& alerts() override { return *this; }
    Pasteboard& pasteboard() override { return *this; }
    SelectionCopy& selectionCopy() override { return *this; }
    Accessibility& accessibility() override { return *this; }
    Hotkeys& hotkeys() override { return *this; }
    Http& http() override { return *this; }
    Workspace& workspace() override { return *this; }
    ViewKit& viewKit() override { return *this; }

    // Scripted answers, in order; with none left, the first button is chosen.
    void answer(int response, std::string fieldText = "") {
        script.push_back([=](const AlertSpec&) { return AlertAnswer{response, fieldText}; });
    }
    // Completes the oldest open HTTP call with this reply.
    void respond(HttpResponse response);
    void respond(int status, std::string body) { respond(HttpResponse{false, status, std::move(body)}); }

    int instances = 1, activations = 0, trustPrompts = 0;
    FakeStatusItem* item = nullptr;  // the last status item made
    bool iconReadable = true;
    std::map<std::string, std::string> strings;
    std::map<std::string, bool> bools;
    std::optional<std::string> clipboard;
    std::optional<std::string> selection;  // what the frontmost application has selected
    bool trusted = false;
    std::function<void()> hotkeyHandler, shortcutChanged;
    std::optional<std::string> shortcut;  // as the desktop names it
    int shortcutChanges = 0;
    std::deque<std::function<AlertAnswer(const AlertSpec&)>> script;
    std::vector<AlertSpec> shown;
    std::deque<FakeHttpCall> calls;
    std::vector<FakeWindow*> windows;  // every window made, alive or not
    std::set<FakeWindow*> alive;
    FakeMainQueue queue;

private:
    int run(std::function<void()> didFinishLaunching) override { return didFinishLaunching(), 0; }
    void terminate() override {}
    void activateIgnoringOtherApps() override { ++activations; }
    int runningInstanceCount(const std::string&) override { return instances; }
    std::unique_ptr<StatusItem> makeStatusItem() override {
        auto made = std::make_unique<FakeStatusItem>();
        return item = made.get(), std::move(made);
    }
    std::optional<std::string> pathForResource(const std::string& name, const std::string& type) override {
        return "/bundle/" + name + "." + type;
    }
    std::shared_ptr<Image> imageWithContentsOfFile(const std::string&) override {
        return iconReadable ? std::make_shared<Image>() : nullptr;
    }
    std::optional<std::string> stringForKey(const std::string& key) override {
        return strings.count(key) ? std::optional(strings[key]) : std::nullopt;
    }
    bool boolForKey(const std::string& key) override { return bools.count(key) && bools[key]; }
    void setString(const std::string& key, const std::string& value) override {
        strings[key] = value, bools.erase(key);
    }
    void setBool(const std::string& key, bool value) override { bools[key] = value, strings.erase(key); }
    void removeObject(const std::string& key) override { strings.erase(key), bools.erase(key); }
    AlertAnswer runModal(const AlertSpec& spec) override;
    std::optional<std::string> stringForType() override { return clipboard; }
    void clearContents() override { clipboard.reset(); }
    void replaceWithString(const std::string& t) override { clipboard = t; }
    void copySelection() override {
        if (selection) replaceWithString(*selection);
    }
    bool isProcessTrusted() override { return trusted; }
    bool isProcessTrustedWithPrompt() override { return ++trustPrompts, std::exchange(trusted, true); }
    void withdrawTrust() override { trusted = false; }
    bool installHandler(std::function<void()> onPressed) override { return hotkeyHandler = std::move(onPressed), true; }
    std::optional<std::string> shortcutDescription() override { return shortcut; }
    void changeShortcut() override { ++shortcutChanges; }
    void setShortcutChangedHandler(std::function<void()> changed) override { shortcutChanged = std::move(changed); }
    std::optional<int> registerHotkey(KeyCode key, ModifierMask modifiers, int) override {
        return key == KeyCode::U && modifiers == ModifierMask::Command ? std::optional(7) : std::nullopt;
    }
    void post(HttpRequest request, std::function<void(HttpResponse)> completion) override {
        calls.push_back({std::move(request), std::move(completion)});
    }
    bool openUrl(const std::string&) override { return true; }
    std::unique_ptr<Window> makeWindow(const Rect&, int) override { return std::make_unique<FakeWindow>(*this); }
    std::unique_ptr<View> makeView(const Rect&) override { return std::unique_ptr<TextField>(new FakeView); }
    std::unique_ptr<TextField> makeLabel(const std::string&) override { return std::make_unique<FakeView>(); }
    std::unique_ptr<TextField> makeTextField(const Rect&) override { return std::make_unique<FakeView>(); }
    std::unique_ptr<Button> makeButton() override { return std::make_unique<FakeView>(); }
    std::unique_ptr<StackView> makeStackView() override { return std::make_unique<FakeView>(); }
};

// An app launched on a fresh fake platform.
struct LaunchedApp : ::testing::Test {
    FakePlatform fake;
    AppDelegate& app() { return *delegate; }
    FakeStatusItem& item() { return *fake.item; }

    void launch() {
        applicationMain();
        fake.queue.advance();
    }
    void TearDown() override {
        // Windows still open let go of their owners before the platform goes.
        for (FakeWindow* w : std::vector<FakeWindow*>(fake.alive.begin(), fake.alive.end())) w->close();
        fake.queue.advance();
        delegate.reset();
    }
};

}  // namespace quillberry::fake
