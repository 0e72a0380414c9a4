#include "FakePlatform.h"
#include "account/Preferences.h"
#include "onboarding/OnboardingWindow.h"

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

// The menu's shortcut item offers the desktop's way to change it, and the menu and the notices
// name the shortcut in force once the desktop says it changed.
TEST_F(Shell, TheShortcutItemOffersAChangeAndTheTextsFollowTheShortcutInForce) {
    markOnboardingDone();
    launch();
    storeEmail("me@example.com");
    fake.shortcut = "Ctrl+Alt+J";
    fake.shortcutChanged();
    auto named = std::find_if(item().menu.begin(), item().menu.end(),
                              [](const MenuItem& m) { return m.title.find("Ctrl+Alt+J") != std::string::npos; });
    ASSERT_NE(named, item().menu.end());
    EXPECT_TRUE(app().perform(named->action));
    EXPECT_EQ(fake.shortcutChanges, 1);
    fake.hotkeyHandler(), fake.queue.advance();
    EXPECT_NE(fake.shown.at(0).informativeText->find("Ctrl+Alt+J"), std::string::npos);
}

// Every text the app shows, from the first run on: none names a key a Linux keyboard lacks or a
// place only a Mac has.
TEST_F(Shell, NoTextNamesAKeyOrAPlaceThatOnlyAMacHas) {
    launch();  // a first run: the onboarding opens
    std::vector<std::string> texts;
    auto& onboarding = *static_cast<OnboardingWindow*>(fake.windows.back()->retained.get());
    for (int page = 0; page < 3; ++page) {
        onboarding.showStep(page);
        for (TextField* label : {&onboarding.subtitleLabel(), &onboarding.tipLabel()})
            texts.push_back(label->stringValue());
    }
    for (bool trusted : {false, true}) {  // every command, and an empty press, in both modes
        fake.trusted = trusted;
        for (const MenuItem& m : item().menu) {
            texts.push_back(m.title);
            if (!m.action.empty()) app().perform(m.action);
        }
        storeEmail("me@example.com");  // the menu logged out
        fake.answer(1001);             // "Désactiver", where automatic mode is on
        app().enableAutoMode();
        fake.clipboard.reset();
        fake.hotkeyHandler(), fake.queue.advance(std::chrono::seconds(1));
    }
    fake.clipboard = "texte";
    fake.hotkeyHandler(), fake.queue.advance();
    fake.respond(200, R"({"improved_prompt":"mieux"})"), fake.queue.advance();
    for (const AlertSpec& a : fake.shown) {
        texts.push_back(a.messageText + "\n" + a.informativeText.value_or(""));
        texts.insert(texts.end(), a.buttons.begin(), a.buttons.end());
    }
    EXPECT_GE(fake.shown.size(), 8u);
    for (const std::string& text : texts)
        for (const char* word : {"Cmd", "macOS", "Réglages Système", "accessibilité", "en haut"})
            EXPECT_EQ(text.find(word), std::string::npos) << text;
}

}  // namespace
}  // namespace quillberry::fake
