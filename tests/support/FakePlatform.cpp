#include "FakePlatform.h"

#include <algorithm>
#include <stdexcept>

namespace quillberry::fake {

void FakeMainQueue::advance(std::chrono::milliseconds by) {
    const auto until = now + by;
    while (!items_.empty() && items_.begin()->first <= until) {
        now = std::max(now, items_.begin()->first);
        auto work = std::move(items_.begin()->second);
        items_.erase(items_.begin());
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
    shown.push_back(spec);
    if (script.empty()) return {};
    auto next = std::move(script.front());
    script.pop_front();
    return next(spec);
}

}  // namespace quillberry::fake
