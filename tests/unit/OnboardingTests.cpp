#include "TestSupport.h"
#include "account/Preferences.h"
#include "onboarding/OnboardingWindow.h"
#include "shell/Constants.h"

namespace quillberry::fake {
namespace {

constexpr Color WHITE{1, 1, 1, 1};
constexpr Color DOT_GREY{0.25, 0.25, 0.25, 1};

struct Onboarding : LaunchedApp {
    std::shared_ptr<OnboardingWindow> make() {
        auto w = std::make_shared<OnboardingWindow>();
        w->window().retainWhileOpen(w);
        return w;
    }
    static FakeTextField& text(TextField& f) { return dynamic_cast<FakeTextField&>(f); }
    static FakeButton& fakeButton(Button& b) { return dynamic_cast<FakeButton&>(b); }
    static std::vector<std::optional<Color>> dotColours(OnboardingWindow& w) {
        std::vector<std::optional<Color>> colours;
        for (View* dot : w.dotsStack().arrangedSubviews()) colours.push_back(dynamic_cast<FakeView&>(*dot).layerBackground);
        return colours;
    }
    struct Visible { bool icon, email, skip, tip; };
    static Visible visible(OnboardingWindow& w) {
        return {!w.iconLabel().isHidden(), !w.emailField().isHidden(), !w.skipButton().isHidden(),
                !w.tipLabel().isHidden()};
    }
};

TEST_F(Onboarding, ConstructionBuildsTheWindowAndShowsTheWelcomePage) {
    auto w = make();
    auto& window = dynamic_cast<FakeWindow&>(w->window());
    EXPECT_EQ(window.contentRect, (Rect{0, 0, 480, 420}));
    EXPECT_EQ(window.styleMask, 3);
    EXPECT_TRUE(window.centered);
    EXPECT_FALSE(window.releasedWhenClosed);
    EXPECT_TRUE(window.titlebarTransparent);
    EXPECT_EQ(window.titleVisibility, 1) << "hidden title";
    EXPECT_EQ(window.background, (Color{0.04, 0.04, 0.04, 1}));
    EXPECT_FALSE(window.visible) << "not on screen until shown";

    EXPECT_EQ(text(w->iconLabel()).text, "Q");
    EXPECT_EQ(text(w->iconLabel()).font, (Font{52, FontWeight::Bold}));
    EXPECT_EQ(text(w->titleLabel()).text, "Bienvenue sur Quillberry");
    EXPECT_EQ(text(w->titleLabel()).frameValue, (Rect{40, 255, 400, 36}));
    EXPECT_EQ(text(w->subtitleLabel()).frameValue, (Rect{40, 155, 400, 95}));
    EXPECT_EQ(text(w->subtitleLabel()).maxLines, 6);
    EXPECT_EQ(fakeButton(w->actionButton()).title, "Suivant");
    EXPECT_EQ(fakeButton(w->actionButton()).layerBackground, WHITE);
    EXPECT_EQ(fakeButton(w->actionButton()).cornerRadius, 10);
    EXPECT_EQ(fakeButton(w->skipButton()).title, "Plus tard");
    EXPECT_EQ(fakeButton(w->skipButton()).tint, (Color{0.45, 0.45, 0.45, 1}));
    EXPECT_EQ(text(w->tipLabel()).text,
              "\xE2\x9A\xA1 Tu veux un seul raccourci (sans Cmd+C) ?\nClique sur l'ic\xC3\xB4ne Quillberry en haut,\n"
              "puis \xC2\xAB Activer le mode automatique \xC2\xBB.");
    EXPECT_EQ(text(w->tipLabel()).textColor, (Color{1.0, 0.82, 0.25, 1}));
    EXPECT_EQ(text(w->emailField()).text, "");
    EXPECT_FALSE(text(w->emailField()).placeholder.empty());

    auto& dots = dynamic_cast<FakeStackView&>(w->dotsStack());
    EXPECT_EQ(dots.frameValue, (Rect{190, 10, 100, 16}));
    ASSERT_EQ(dots.constraints.size(), 3u);
    EXPECT_EQ(dots.constraints[0].width, 8);
    EXPECT_EQ(dynamic_cast<FakeView&>(*dots.arranged[0]).cornerRadius, 4);
    EXPECT_EQ(dotColours(*w), (std::vector<std::optional<Color>>{WHITE, DOT_GREY, DOT_GREY}));
    auto v = visible(*w);
    EXPECT_TRUE(v.icon);
    EXPECT_FALSE(v.email || v.skip || v.tip);
    w->window().close();
}

TEST_F(Onboarding, PagesRearrangeTheBodyAndShowTheirOwnViews) {
    auto w = make();
    w->nextStep();
    EXPECT_EQ(w->currentStep, 1);
    EXPECT_EQ(text(w->titleLabel()).text, "Connecte-toi");
    EXPECT_EQ(text(w->subtitleLabel()).frameValue, (Rect{40, 205, 400, 40}));
    EXPECT_EQ(fakeButton(w->actionButton()).title, "Continuer");
    auto v = visible(*w);
    EXPECT_TRUE(v.email && v.skip);
    EXPECT_FALSE(v.icon || v.tip);
    EXPECT_EQ(dotColours(*w)[1], WHITE);

    text(w->emailField()).text = "typed";
    w->skipStep();
    EXPECT_EQ(text(w->titleLabel()).text, "C'est prêt !");
    EXPECT_EQ(text(w->subtitleLabel()).frameValue, (Rect{40, 195, 400, 60}));
    EXPECT_EQ(fakeButton(w->actionButton()).title, "Commencer");
    v = visible(*w);
    EXPECT_TRUE(v.tip);
    EXPECT_FALSE(v.icon || v.email || v.skip);
    EXPECT_EQ(text(w->emailField()).text, "typed") << "kept in the hidden field";
    EXPECT_EQ(text(w->iconLabel()).text, "Q") << "hidden, text unchanged";
    EXPECT_EQ(dotColours(*w), (std::vector<std::optional<Color>>{DOT_GREY, DOT_GREY, WHITE}));
    w->skipStep();
    EXPECT_EQ(w->currentStep, 2) << "skip does nothing on the last page";
    w->window().close();
}

struct EntryCase { std::string typed; std::optional<std::string> stored; bool skip; };
class EmailPage : public Onboarding, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EmailPage, StoresAcceptedAddressesAndMovesOnRegardless) {
    storeEmail("before@example.com");
    std::vector<std::optional<std::string>> completions;
    bool visibleAtCompletion = true;
    showOnboarding([&](const std::optional<std::string>& e) {
        completions.push_back(e);
        visibleAtCompletion = fake.kit.windows.back()->visible;
    });
    FakeWindow& window = *fake.kit.windows.back();
    auto* container = dynamic_cast<FakeView*>(window.content->subviews.at(0));
    ASSERT_NE(container, nullptr);
    auto& action = dynamic_cast<FakeButton&>(*container->subviews.at(4));
    auto& skip = dynamic_cast<FakeButton&>(*container->subviews.at(5));
    auto& field = dynamic_cast<FakeTextField&>(*container->subviews.at(3));
    action.click();
    field.text = GetParam().typed;
    (GetParam().skip ? skip : action).click();
    EXPECT_EQ(getStoredEmail(), GetParam().stored.value_or("before@example.com"));
    EXPECT_FALSE(isOnboardingDone());
    action.click();
    EXPECT_TRUE(isOnboardingDone());
    EXPECT_EQ(completions, (std::vector<std::optional<std::string>>{GetParam().stored}));
    EXPECT_FALSE(visibleAtCompletion);
    EXPECT_EQ(fake.kit.alive.size(), 1u) << "the window outlives its own close";
    fake.queue.runUntilIdle();
    EXPECT_TRUE(fake.kit.alive.empty()) << "and is released afterwards";
}
INSTANTIATE_TEST_SUITE_P(Entries, EmailPage,
                         ::testing::Values(EntryCase{" me@example.com\t", "me@example.com", false},
                                           EntryCase{"me@example.com\n", "me@example.com\n", false},
                                           EntryCase{"me@localhost", "me@localhost", false},
                                           EntryCase{"", std::nullopt, false},
                                           EntryCase{" \t ", std::nullopt, false},
                                           EntryCase{"no-at.example.com", std::nullopt, false},
                                           EntryCase{"valid@example.com", std::nullopt, true}));

TEST_F(Onboarding, ClosingEarlyKeepsTheAddressButNotTheFlag) {
    int completions = 0;
    showOnboarding([&](const std::optional<std::string>&) { ++completions; });
    showOnboarding([&](const std::optional<std::string>&) { completions += 100; });
    ASSERT_EQ(fake.kit.windows.size(), 2u);
    EXPECT_EQ(fake.activations, 2);
    FakeWindow& first = *fake.kit.windows[0];
    auto* container = dynamic_cast<FakeView*>(first.content->subviews.at(0));
    auto& action = dynamic_cast<FakeButton&>(*container->subviews.at(4));
    dynamic_cast<FakeTextField&>(*container->subviews.at(3)).text = "me@example.com";
    action.click();
    action.click();
    first.close();  // the window's own close button
    fake.queue.runUntilIdle();
    EXPECT_EQ(getStoredEmail(), "me@example.com");
    EXPECT_FALSE(isOnboardingDone());
    EXPECT_EQ(completions, 0);
    EXPECT_EQ(fake.kit.alive.size(), 1u) << "the second window is independent";
    fake.kit.windows[1]->close();
}

TEST_F(Onboarding, LaunchOpensItOnlyWhileTheFlagIsUnset) {
    markOnboardingDone();
    launch();
    EXPECT_TRUE(fake.kit.windows.empty());
    // The instructions command clears the flag and opens a fresh window, e-mail untouched.
    storeEmail("me@example.com");
    app().showHelp();
    app().showHelp();
    EXPECT_FALSE(isOnboardingDone());
    EXPECT_EQ(fake.kit.windows.size(), 2u);
    EXPECT_TRUE(fake.kit.windows[1]->visible && fake.kit.windows[1]->key);
    EXPECT_EQ(getStoredEmail(), "me@example.com");
    auto* container = dynamic_cast<FakeView*>(fake.kit.windows[1]->content->subviews.at(0));
    EXPECT_EQ(dynamic_cast<FakeTextField&>(*container->subviews.at(3)).text, "") << "never prefilled";
    for (auto* w : fake.kit.windows) w->close();
}

TEST_F(Onboarding, SupportOpensTheLinkThroughTheDesktop) {
    launch();
    app().openSupport();
    EXPECT_EQ(fake.openedUrls, std::vector<std::string>{std::string(SUPPORT_URL)});
    EXPECT_TRUE(Workspace::isValidUrl("https://wa.me/15555550123"));
    EXPECT_FALSE(Workspace::isValidUrl("not a url"));
    EXPECT_FALSE(Workspace::isValidUrl("https://x/\"; rm -rf ~"));
}

struct AutoModeCase { bool trusted; int answer; int expectedPrompts; };
class AutoMode : public Onboarding, public ::testing::WithParamInterface<AutoModeCase> {};

TEST_P(AutoMode, ExplainsThenAsksTheSystemOnlyOnActivate) {
    markOnboardingDone();
    launch();
    fake.trusted = GetParam().trusted;
    fake.answer(GetParam().answer);
    app().enableAutoMode();
    ASSERT_EQ(fake.alertBox.shown.size(), 1u);
    const AlertSpec& alert = fake.alertBox.shown[0].spec;
    EXPECT_EQ(alert.style, ALERT_STYLE_INFORMATIONAL);
    if (GetParam().trusted) {
        EXPECT_EQ(alert.messageText, "Mode automatique déjà activé");
        EXPECT_TRUE(alert.buttons.empty());
    } else {
        EXPECT_EQ(alert.messageText, "Mode automatique");
        EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Activer", "Annuler"}));
        EXPECT_NE(alert.informativeText->find("\n\nLe mode automatique"), std::string::npos);
    }
    EXPECT_EQ(fake.trustPrompts, GetParam().expectedPrompts);
}
INSTANTIATE_TEST_SUITE_P(Cases, AutoMode,
                         ::testing::Values(AutoModeCase{true, 1000, 0}, AutoModeCase{false, 1001, 0},
                                           AutoModeCase{false, 1000, 1}));

}  // namespace
}  // namespace quillberry::fake
