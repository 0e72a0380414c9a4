#pragma once

#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "shell/Entry.h"

namespace quillberry::fake {

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
