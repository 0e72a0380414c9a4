#include "FakePlatform.h"
#include "account/Preferences.h"
#include "onboarding/OnboardingWindow.h"

namespace quillberry::fake {
namespace {

struct Onboarding : LaunchedApp {
    // The controls of the newest window, as a user reaches them.
    void click(Button& button) { dynamic_cast<FakeView&>(button).action(); }
    void next() { click(current().actionButton()); }
    void type(const std::string& text) { current().emailField().setStringValue(text); }
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
    next();
    type(GetParam().typed);
    click(GetParam().skip ? current().skipButton() : current().actionButton());
    EXPECT_EQ(getStoredEmail(), GetParam().stored.value_or("before@example.com"));
    EXPECT_FALSE(isOnboardingDone());
    next();
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
    next();
    type("me@example.com");
    next();
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

}  // namespace
}  // namespace quillberry::fake
