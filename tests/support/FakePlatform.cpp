#include "FakePlatform.h"

#include <algorithm>
#include <stdexcept>

namespace quillberry::fake {

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


}  // namespace quillberry::fake
