#include "FakePlatform.h"

#include <algorithm>
#include <stdexcept>

namespace quillberry::fake {

bool FakeStatusItem::choose(const std::string& title) {
    for (const MenuItem& m : menu) {
        if (m.title == title && !m.action.empty()) {
            performAction(m.action);
            return true;
        }
    }
    return false;
}

void FakeMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    items.push_back({now + delay, nextSeq++, std::move(work)});
}

void FakeMainQueue::runUntilIdle() {
    for (;;) {
        auto due = std::min_element(items.begin(), items.end(), [](const Item& a, const Item& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (due == items.end() || due->due > now) return;
        auto work = std::move(due->work);
        items.erase(due);
        work();
    }
}

void FakeMainQueue::advance(std::chrono::milliseconds by) {
    auto until = now + by;
    for (;;) {
        runUntilIdle();
        auto next = std::min_element(items.begin(), items.end(),
                                     [](const Item& a, const Item& b) { return a.due < b.due; });
        if (next == items.end() || next->due > until) break;
        now = next->due;
    }
    now = until;
    runUntilIdle();
}

AlertAnswer FakeAlerts::runModal(const AlertSpec& spec) {
    AlertAnswer answer{ALERT_FIRST_BUTTON_RETURN, ""};
    if (!script.empty()) {
        auto next = std::move(script.front());
        script.pop_front();
        answer = next(spec);
    }
    shown.push_back({spec, answer});
    return answer;
}

void FakeHttp::respond(HttpResponse response) {
    if (calls.empty()) throw std::logic_error("no HTTP call to answer");
    auto call = std::move(calls.front());
    calls.pop_front();
    call.completion(std::move(response));
}

FakeWindow::FakeWindow(FakeViewKit& k, Rect rect, int style)
    : kit(k), contentRect(rect), styleMask(style), content(std::make_unique<FakeView>()) {
    content->setFrame({0, 0, rect.width, rect.height});
    kit.windows.push_back(this);
    kit.alive.insert(this);
}

View* FakeWindow::contentView() { return content.get(); }

void FakeWindow::close() {
    visible = false, key = false;
    // Like a real window layer: let go of the owner only after the current action.
    if (retained && kit.queue) {
        kit.queue->async([owner = std::move(retained)]() mutable { owner.reset(); });
    }
}

std::unique_ptr<Window> FakeViewKit::makeWindow(const Rect& contentRect, int styleMask) {
    struct Tracked : FakeWindow {
        using FakeWindow::FakeWindow;
        ~Tracked() override { kit.alive.erase(this); }
    };
    return std::make_unique<Tracked>(*this, contentRect, styleMask);
}
std::unique_ptr<View> FakeViewKit::makeView(const Rect& frame) {
    auto v = std::make_unique<FakeView>();
    v->setFrame(frame);
    return v;
}
std::unique_ptr<TextField> FakeViewKit::makeLabel(const std::string& text) {
    auto v = std::make_unique<FakeTextField>();
    v->text = text;
    return v;
}
std::unique_ptr<TextField> FakeViewKit::makeTextField(const Rect& frame) {
    auto v = std::make_unique<FakeTextField>();
    v->setFrame(frame);
    v->editable = true, v->bezeled = true, v->drawsBackground = true;
    return v;
}
std::unique_ptr<Button> FakeViewKit::makeButton() { return std::make_unique<FakeButton>(); }
std::unique_ptr<StackView> FakeViewKit::makeStackView() { return std::make_unique<FakeStackView>(); }

FakePlatform::FakePlatform() {
    kit.queue = &queue;
    installPlatform(this);
}

FakePlatform::~FakePlatform() { installPlatform(nullptr); }

std::unique_ptr<StatusItem> FakePlatform::statusItemWithLength(double) {
    auto made = std::make_unique<FakeStatusItem>();
    item = made.get();
    ++statusItemsMade;
    return made;
}

std::optional<std::string> FakePlatform::pathForResource(const std::string& name, const std::string& type) {
    if (!iconPresent) return std::nullopt;
    return "/bundle/" + name + "." + type;
}

std::shared_ptr<Image> FakePlatform::imageWithContentsOfFile(const std::string& path) {
    if (!iconReadable) return nullptr;
    return std::make_shared<FakeImage>(path);
}

std::optional<std::string> FakePlatform::stringForKey(const std::string& key) {
    auto found = strings.find(key);
    if (found == strings.end()) return std::nullopt;
    return found->second;
}

bool FakePlatform::boolForKey(const std::string& key) {
    auto found = bools.find(key);
    return found != bools.end() && found->second;
}

void FakePlatform::copySelection() {
    if (selection) board.replaceWithString(*selection);
}

std::optional<int> FakePlatform::registerHotkey(int keyCode, int modifiers, int id) {
    registeredHotkeys.emplace_back(keyCode, modifiers, id);
    if (refuseHotkey) return std::nullopt;
    return 7;
}

}  // namespace quillberry::fake
