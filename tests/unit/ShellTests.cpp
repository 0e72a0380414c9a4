#include "TestSupport.h"
#include "shell/Constants.h"
#include "shell/StatusMenu.h"

namespace quillberry::fake {
namespace {

using Shell = LaunchedApp;

TEST_F(Shell, LaunchShowsTheIdleIconAndTheExactMenu) {
    fake.bools[std::string(ONBOARDING_KEY)] = true;
    launch();
    ASSERT_EQ(fake.statusItemsMade, 1);
    auto* icon = dynamic_cast<FakeImage*>(button().image.get());
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->path, "/bundle/menubar_icon.png");
    EXPECT_FALSE(icon->isTemplate);
    EXPECT_EQ(icon->width, 18);
    EXPECT_EQ(icon->height, 18);
    EXPECT_EQ(button().title, "");

    const std::vector<MenuItem> expected = {
        {"Quillberry", "", ""},
        {"Raccourci : Cmd+U", "", ""},
        {"", "", "", true},
        {"\xF0\x9F\x93\xA7  Changer d'email", "changeEmailAction", ""},
        {"\xF0\x9F\x9A\xAA  Se d\xC3\xA9" "connecter", "logoutAction", ""},
        {"\xF0\x9F\x93\x96  Mode d'emploi", "showHelp", ""},
        {"\xF0\x9F\x92\xAC  J'ai un probl\xC3\xA8me", "openSupport", ""},
        {"", "", "", true},
        {"\xE2\x9A\xA1  Activer le mode automatique...", "enableAutoMode", ""},
        {"", "", "", true},
        {"Quitter", "quitApp", "q"},
    };
    EXPECT_EQ(fake.item->menu, expected);
    // Nothing visible beyond the item: no window, no activation, no request.
    EXPECT_TRUE(fake.kit.windows.empty());
    EXPECT_EQ(fake.activations, 0);
    EXPECT_TRUE(fake.web.calls.empty());
}

TEST_F(Shell, HotkeyIsRegisteredAsCommandUBeforeTheOnboardingOpens) {
    launch();
    ASSERT_EQ(fake.registeredHotkeys.size(), 1u);
    EXPECT_EQ(fake.registeredHotkeys[0], std::make_tuple(32, 256, 1));
    EXPECT_EQ(app().hotKeyRef, 7);
    ASSERT_EQ(fake.kit.windows.size(), 1u);  // first run: onboarding
    EXPECT_TRUE(fake.kit.windows[0]->visible);
    EXPECT_EQ(fake.activations, 1);

    // A press while the onboarding is open already starts a run.
    fake.hotkeyHandler();
    EXPECT_FALSE(app().isProcessing) << "the handler only posts; the press runs later";
    fake.queue.runUntilIdle();
    EXPECT_TRUE(fake.alertBox.shown.size() == 1 && fake.alertBox.shown[0].spec.messageText == "Connexion à Quillberry");
}

TEST_F(Shell, RefusedHotkeyLeavesTheAppRunningWithoutAHandle) {
    fake.refuseHotkey = true;
    launch();
    EXPECT_FALSE(app().hotKeyRef.has_value());
    EXPECT_EQ(fake.item->menu.size(), 11u);
    EXPECT_TRUE(fake.alertBox.shown.empty());
}

struct IconCase { bool present, readable; };
class IconFallback : public LaunchedApp, public ::testing::WithParamInterface<IconCase> {};

TEST_P(IconFallback, UnavailableIconShowsQAndComesBackAfterARun) {
    fake.bools[std::string(ONBOARDING_KEY)] = true;
    fake.iconPresent = GetParam().present;
    fake.iconReadable = GetParam().readable;
    launch();
    EXPECT_EQ(button().title, "Q");
    EXPECT_EQ(button().image, nullptr);
    app().isProcessing = true;
    applyProcessingLook(*app().statusItem);
    EXPECT_EQ(button().title, "...");
    app().setMenuBarIcon();
    EXPECT_EQ(button().title, "Q");
    // The file is looked up on every call: once it is back, so is the icon.
    fake.iconPresent = fake.iconReadable = true;
    app().setMenuBarIcon();
    EXPECT_NE(button().image, nullptr);
    EXPECT_EQ(button().title, "");
}
INSTANTIATE_TEST_SUITE_P(Missing, IconFallback, ::testing::Values(IconCase{false, true}, IconCase{true, false}));

TEST_F(Shell, ProcessingLookIsReplacedByTheIdleLook) {
    launch();
    applyProcessingLook(*app().statusItem);
    EXPECT_EQ(button().image, nullptr);
    EXPECT_EQ(button().title, "...");
    app().setMenuBarIcon();
    EXPECT_NE(button().image, nullptr);
    EXPECT_EQ(button().title, "");
}

class InstanceGuard : public LaunchedApp, public ::testing::WithParamInterface<int> {};

TEST_P(InstanceGuard, TwoOrMoreInstancesEndSilently) {
    fake.instances = GetParam();
    launch();
    EXPECT_EQ(fake.askedBundleId, std::string(BUNDLE_ID));
    EXPECT_EQ(runningApps, GetParam());
    bool duplicate = GetParam() >= 2;
    EXPECT_EQ(fake.terminations, duplicate ? 1 : 0);
    EXPECT_EQ(fake.runs, duplicate ? 0 : 1);
    EXPECT_EQ(fake.statusItemsMade, duplicate ? 0 : 1);
    EXPECT_EQ(fake.registeredHotkeys.empty(), duplicate);
    EXPECT_TRUE(fake.alertBox.shown.empty());
    EXPECT_EQ(fake.activations, duplicate ? 0 : 1);
}
INSTANTIATE_TEST_SUITE_P(Counts, InstanceGuard, ::testing::Values(0, 1, 2, 3));

TEST_F(Shell, MenuCommandsRunByNameAndInformationalItemsCannotBeChosen) {
    fake.bools[std::string(ONBOARDING_KEY)] = true;
    launch();
    EXPECT_FALSE(fake.item->choose("Quillberry"));
    EXPECT_FALSE(fake.item->choose("Raccourci : Cmd+U"));
    EXPECT_FALSE(app().perform("noSuchCommand"));
    EXPECT_TRUE(fake.item->choose("Quitter"));
    EXPECT_EQ(fake.terminations, 1);
    EXPECT_TRUE(fake.alertBox.shown.empty()) << "quitting asks nothing";
}

}  // namespace
}  // namespace quillberry::fake
