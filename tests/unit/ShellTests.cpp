#include "FakePlatform.h"
#include "account/Preferences.h"

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
    for (const MenuItem& m : item().menu) EXPECT_TRUE(m.action.empty() || app().perform(m.action)) << m.action;
    EXPECT_FALSE(app().perform("noSuchCommand"));
}

TEST_F(Shell, APressIsPostedAndRunsLaterEvenWhileTheOnboardingIsOpen) {
    launch();
    ASSERT_EQ(fake.windows.size(), 1u);
    EXPECT_TRUE(fake.windows[0]->visible);
    EXPECT_EQ(fake.activations, 1);
    fake.hotkeyHandler();
    EXPECT_FALSE(app().flow.isProcessing()) << "the handler only posts";
    fake.queue.advance();
    EXPECT_EQ(fake.shown.size(), 1u) << "the e-mail prompt";
}

TEST_F(Shell, AMissingIconShowsQUntilAReadableOneIsFound) {
    markOnboardingDone();
    fake.iconReadable = false;
    launch();
    EXPECT_EQ(item().title, "Q");
    EXPECT_EQ(item().image, nullptr);
    app().setMenuBarIcon();
    EXPECT_EQ(item().title, "Q");
    fake.iconReadable = true;
    app().setMenuBarIcon();
    EXPECT_NE(item().image, nullptr);
    EXPECT_EQ(item().title, "");
}

}  // namespace
}  // namespace quillberry::fake
