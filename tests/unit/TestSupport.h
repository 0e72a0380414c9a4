#pragma once

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "shell/AppDelegate.h"
#include "shell/Entry.h"

namespace quillberry::fake {

// A launched app on a fresh fake platform.
struct LaunchedApp : ::testing::Test {
    FakePlatform fake;
    AppDelegate& app() { return *delegate; }
    FakeStatusButton& button() { return fake.item->buttonState; }

    void launch() {
        applicationMain();
        fake.queue.runUntilIdle();
    }
    void TearDown() override {
        // Let closed windows go before the platform does.
        fake.queue.runUntilIdle();
        std::vector<std::shared_ptr<void>> openWindows;
        for (FakeWindow* w : fake.kit.alive) openWindows.push_back(std::move(w->retained));
        openWindows.clear();
        delegate.reset();
    }
};

}  // namespace quillberry::fake
