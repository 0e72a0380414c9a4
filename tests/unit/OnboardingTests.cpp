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
    bool skip, closeOnLastPage;
};
class EmailPage : public Onboarding, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EmailPage, StoresAnAcceptedAddressAndMovesOnRegardlessAndOnlyTheLastPageSetsTheFlag) {
    const EntryCase& c = GetParam();
    storeEmail("before@example.com");
    std::vector<std::optional<std::string>> completions;
    bool visibleAtCompletion = false;
    showOnboarding([&](const std::optional<std::string>& e) {
        completions.push_back(e);
        visibleAtCompletion = fake.windows.back()->visible;
    });
    next();
    EXPECT_EQ(fake.windows.back()->firstResponder, &current().emailField()) << "typing goes to the field";
    type(c.typed);
    click(c.skip ? current().skipButton() : current().actionButton());
    EXPECT_EQ(getStoredEmail(), c.stored.value_or("before@example.com"));
    EXPECT_FALSE(isOnboardingDone());
    if (c.closeOnLastPage) fake.windows.back()->close();
    else next();
    EXPECT_EQ(isOnboardingDone(), !c.closeOnLastPage);
    EXPECT_EQ(completions, c.closeOnLastPage ? std::vector<std::optional<std::string>>() : std::vector{c.stored});
    EXPECT_FALSE(visibleAtCompletion);
    EXPECT_EQ(fake.alive.size(), 1u) << "the window outlives its own close";
    fake.queue.advance();
    EXPECT_TRUE(fake.alive.empty()) << "and is released afterwards";
    EXPECT_EQ(getStoredEmail(), c.stored.value_or("before@example.com")) << "kept however the window ends";
}
INSTANTIATE_TEST_SUITE_P(Entries, EmailPage,
                         ::testing::Values(EntryCase{" me@example.com\t", "me@example.com", false, false},
                                           EntryCase{" \t ", std::nullopt, false, false},
                                           EntryCase{"no-at.example.com", std::nullopt, false, false},
                                           EntryCase{"valid@example.com", std::nullopt, true, false},
                                           EntryCase{"me@example.com", "me@example.com", false, true}));

TEST_F(Onboarding, InstructionsClearTheFlagAndOpenAFreshWindowEachTime) {
    markOnboardingDone();
    launch();
    storeEmail("me@example.com");
    app().showHelp();
    app().showHelp();
    EXPECT_FALSE(isOnboardingDone());
    EXPECT_EQ(fake.alive.size(), 2u);
    EXPECT_EQ(current().emailField().stringValue(), "") << "never prefilled";
}

}  // namespace
}  // namespace quillberry::fake
