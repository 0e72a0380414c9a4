#include "FakePlatform.h"
#include "account/Preferences.h"
#include "commands/Commands.h"
#include "config/Constants.h"
#include "onboarding/OnboardingWindow.h"

namespace quillberry::fake {
namespace {

struct Onboarding : LaunchedApp {
    // The controls of the newest window, as a user reaches them.
    FakeButton& action() { return dynamic_cast<FakeButton&>(current().actionButton()); }
    FakeButton& skip() { return dynamic_cast<FakeButton&>(current().skipButton()); }
    void type(const std::string& text) { dynamic_cast<FakeTextField&>(current().emailField()).text = text; }
    OnboardingWindow& current() { return *static_cast<OnboardingWindow*>(fake.windows.back()->retained.get()); }
};

struct EntryCase {
    std::string typed;
    std::optional<std::string> stored;
    bool skip;
};
class EmailPage : public Onboarding, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EmailPage, StoresAnAcceptedAddressAndMovesOnRegardless) {
    storeEmail("before@example.com");
    std::vector<std::optional<std::string>> completions;
    bool visibleAtCompletion = true;
    showOnboarding([&](const std::optional<std::string>& e) {
        completions.push_back(e);
        visibleAtCompletion = fake.windows.back()->visible;
    });
    action().click();
    type(GetParam().typed);
    (GetParam().skip ? skip() : action()).click();
    EXPECT_EQ(getStoredEmail(), GetParam().stored.value_or("before@example.com"));
    EXPECT_FALSE(isOnboardingDone());
    action().click();
    EXPECT_TRUE(isOnboardingDone());
    EXPECT_EQ(completions, std::vector{GetParam().stored});
    EXPECT_FALSE(visibleAtCompletion);
    EXPECT_EQ(fake.alive.size(), 1u) << "the window outlives its own close";
    fake.queue.advance();
    EXPECT_TRUE(fake.alive.empty()) << "and is released afterwards";
}
INSTANTIATE_TEST_SUITE_P(Entries, EmailPage,
                         ::testing::Values(EntryCase{" me@example.com\t", "me@example.com", false},
                                           EntryCase{" \t ", std::nullopt, false},
                                           EntryCase{"no-at.example.com", std::nullopt, false},
                                           EntryCase{"valid@example.com", std::nullopt, true}));

TEST_F(Onboarding, ClosingEarlyKeepsTheAddressButNotTheFlag) {
    int completions = 0;
    showOnboarding([&](const std::optional<std::string>&) { ++completions; });
    action().click();
    type("me@example.com");
    action().click();
    fake.windows.back()->close();
    fake.queue.advance();
    EXPECT_EQ(getStoredEmail(), "me@example.com");
    EXPECT_FALSE(isOnboardingDone());
    EXPECT_EQ(completions, 0);
    EXPECT_TRUE(fake.alive.empty());
}

TEST_F(Onboarding, InstructionsClearTheFlagAndOpenAFreshWindowEachTime) {
    markOnboardingDone();
    launch();
    EXPECT_TRUE(fake.windows.empty());
    storeEmail("me@example.com");
    app().showHelp();
    app().showHelp();
    EXPECT_FALSE(isOnboardingDone());
    EXPECT_EQ(fake.alive.size(), 2u);
    EXPECT_EQ(current().emailField().stringValue(), "") << "never prefilled";
}

TEST_F(Onboarding, SupportHandsOnlyAWellFormedLinkToTheDesktop) {
    launch();
    app().openSupport();
    EXPECT_EQ(fake.openedUrls, std::vector<std::string>{std::string(SUPPORT_URL)});
    for (const char* bad : {"not a url", "https://x/\"; rm -rf ~", ":no-scheme"}) EXPECT_FALSE(isValidUrl(bad)) << bad;
}

struct AutoModeCase {
    bool trusted;
    int answer;
    int prompts;
    size_t buttons;
};
class AutoMode : public LaunchedApp, public ::testing::WithParamInterface<AutoModeCase> {};

TEST_P(AutoMode, AsksTheSystemOnlyWhenNotTrustedAndTheUserActivates) {
    markOnboardingDone();
    launch();
    fake.trusted = GetParam().trusted;
    fake.answer(GetParam().answer);
    app().enableAutoMode();
    ASSERT_EQ(fake.shown.size(), 1u);
    EXPECT_EQ(fake.shown[0].buttons.size(), GetParam().buttons);
    EXPECT_EQ(fake.trustPrompts, GetParam().prompts);
}
INSTANTIATE_TEST_SUITE_P(Cases, AutoMode,
                         ::testing::Values(AutoModeCase{true, 1000, 0, 0}, AutoModeCase{false, 1001, 0, 2},
                                           AutoModeCase{false, 1000, 1, 2}));

}  // namespace
}  // namespace quillberry::fake
