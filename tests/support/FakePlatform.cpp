#include "FakePlatform.h"

#include <algorithm>
#include <stdexcept>

namespace quillberry::fake {

bool FakeStatusItem::choose(const std::string& wanted) {
    auto found = std::find_if(menu.begin(), menu.end(), [&](const MenuItem& m) { return m.title == wanted; });
    if (found == menu.end() || found->action.empty()) return false;
    performAction(found->action);
    return true;
}

void FakeMainQueue::asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) {
    items_.push_back({now + delay, nextSeq_++, std::move(work)});
}

void FakeMainQueue::advance(std::chrono::milliseconds by) {
    const auto until = now + by;
    for (;;) {
        auto next = std::min_element(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
            return a.due != b.due ? a.due < b.due : a.seq < b.seq;
        });
        if (next == items_.end() || next->due > until) break;
        now = std::max(now, next->due);
        auto work = std::move(next->work);
        items_.erase(next);
        work();
    }
    now = until;
}

FakeWindow::FakeWindow(FakePlatform& p) : platform(p) {
    platform.windows.push_back(this);
    platform.alive.insert(this);
}

FakeWindow::~FakeWindow() { platform.alive.erase(this); }

void FakeWindow::close() {
    visible = false;
    // Like a real window layer: let go of the owner only after the current action.
    if (retained) platform.queue.async([owner = std::move(retained)]() mutable { owner.reset(); });
}

void FakePlatform::respond(HttpResponse response) {
    if (calls.empty()) throw std::logic_error("no HTTP call to answer");
    auto call = std::move(calls.front());
    calls.pop_front();
    call.completion(std::move(response));
}

std::unique_ptr<StatusItem> FakePlatform::makeStatusItem() {
    auto made = std::make_unique<FakeStatusItem>();
    item = made.get();
    return made;
}

std::optional<std::string> FakePlatform::pathForResource(const std::string& name, const std::string& type) {
    if (!iconPresent) return std::nullopt;
    return "/bundle/" + name + "." + type;
}

std::shared_ptr<Image> FakePlatform::imageWithContentsOfFile(const std::string&) {
    return iconReadable ? std::make_shared<FakeImage>() : nullptr;
}

std::optional<std::string> FakePlatform::stringForKey(const std::string& key) {
    auto found = strings.find(key);
    return found == strings.end() ? std::nullopt : std::optional(found->second);
}

AlertAnswer FakePlatform::runModal(const AlertSpec& spec) {
    AlertAnswer answer;
    if (!script.empty()) {
        auto next = std::move(script.front());
        script.pop_front();
        answer = next(spec);
    }
    shown.push_back(spec);
    return answer;
}

void FakePlatform::copySelection() {
    if (selection) replaceWithString(*selection);
}

std::optional<int> FakePlatform::registerHotkey(KeyCode key, ModifierMask modifiers, int) {
    if (refuseHotkey || key != KeyCode::U || modifiers != ModifierMask::Command) return std::nullopt;
    return 7;
}

std::unique_ptr<TextField> FakePlatform::makeLabel(const std::string& text) {
    auto label = std::make_unique<FakeTextField>();
    label->text = text;
    return label;
}

}  // namespace quillberry::fake
