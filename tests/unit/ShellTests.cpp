#include "TestSupport.h"
#include "account/Preferences.h"
#include "shell/StatusMenu.h"

namespace quillberry::fake {
namespace {

using Shell = LaunchedApp;

TEST_F(Shell, LaunchShowsTheIconAndAMenuWhoseEveryCommandExists) {
    markOnboardingDone();
    fake.instances = 0;  // the instance count could not be taken: start all the same
    launch();
    EXPECT_NE(item().image, nullptr);
    EXPECT_EQ(item().title, "");
    EXPECT_TRUE(fake.windows.empty());
    EXPECT_EQ(fake.activations, 0);
    ASSERT_FALSE(item().menu.empty());
    for (const MenuItem& m : item().menu) {
        if (!m.action.empty()) EXPECT_TRUE(app().perform(m.action)) << m.action;
        else EXPECT_FALSE(item().choose(m.title)) << m.title << " is informational";
    }
    EXPECT_FALSE(app().perform("noSuchCommand"));
}

TEST_F(Shell, APressIsPostedAndRunsLaterEvenWhileTheOnboardingIsOpen) {
    launch();
    EXPECT_EQ(app().hotKeyRef, 7);
    ASSERT_EQ(fake.windows.size(), 1u);
    EXPECT_TRUE(fake.windows[0]->visible);
    EXPECT_EQ(fake.activations, 1);
    fake.hotkeyHandler();
    EXPECT_FALSE(app().flow.isProcessing()) << "the handler only posts";
    fake.queue.advance();
    ASSERT_EQ(fake.shown.size(), 1u);
    EXPECT_TRUE(fake.shown[0].textField) << "the e-mail prompt";
}

struct IconCase { bool present, readable; };
class IconFallback : public LaunchedApp, public ::testing::WithParamInterface<IconCase> {};

TEST_P(IconFallback, AMissingIconShowsQAndTheIconComesBackOnceReadable) {
    markOnboardingDone();
    fake.iconPresent = GetParam().present;
    fake.iconReadable = GetParam().readable;
    launch();
    EXPECT_EQ(item().title, "Q");
    EXPECT_EQ(item().image, nullptr);
    applyProcessingLook(item());
    EXPECT_EQ(item().title, "...");
    app().setMenuBarIcon();
    EXPECT_EQ(item().title, "Q");
    fake.iconPresent = fake.iconReadable = true;
    app().setMenuBarIcon();
    EXPECT_NE(item().image, nullptr);
    EXPECT_EQ(item().title, "");
}
INSTANTIATE_TEST_SUITE_P(Missing, IconFallback, ::testing::Values(IconCase{false, true}, IconCase{true, false}));

TEST_F(Shell, AnotherInstanceEndsTheStartSilentlyBeforeShowingAnything) {
    fake.instances = 2;
    launch();
    EXPECT_EQ(fake.terminations, 1);
    EXPECT_EQ(fake.runs, 0);
    EXPECT_EQ(fake.item, nullptr);
    EXPECT_EQ(fake.hotkeyHandler, nullptr);
}

}  // namespace
}  // namespace quillberry::fake
