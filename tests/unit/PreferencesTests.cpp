#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "account/Preferences.h"
#include "shell/Constants.h"

namespace quillberry::fake {
namespace {

TEST(Preferences, KeysAreTheOnesEarlierRunsWrote) {
    EXPECT_EQ(EMAIL_KEY, "verbalift_email");
    EXPECT_EQ(ONBOARDING_KEY, "quillberry_onboarding_done");
}

TEST(Preferences, AbsentEmptyAndReplacedValues) {
    FakePlatform fake;
    EXPECT_EQ(getStoredEmail(), std::nullopt);
    EXPECT_FALSE(isOnboardingDone());

    clearEmail();  // nothing stored: harmless
    EXPECT_EQ(getStoredEmail(), std::nullopt);

    storeEmail("");
    EXPECT_EQ(getStoredEmail(), std::optional<std::string>(""));
    storeEmail(" a@b ");
    storeEmail("second@example.com");
    EXPECT_EQ(getStoredEmail(), "second@example.com");
    EXPECT_EQ(fake.strings.at("verbalift_email"), "second@example.com");
}

TEST(Preferences, FlagAndEmailAreIndependent) {
    FakePlatform fake;
    storeEmail("me@example.com");
    markOnboardingDone();
    EXPECT_TRUE(fake.bools.at("quillberry_onboarding_done"));

    clearOnboardingDone();
    EXPECT_FALSE(isOnboardingDone());
    EXPECT_EQ(fake.bools.count("quillberry_onboarding_done"), 0u) << "removed, never written false";
    EXPECT_EQ(getStoredEmail(), "me@example.com");

    markOnboardingDone();
    clearEmail();
    EXPECT_TRUE(isOnboardingDone());
    EXPECT_EQ(getStoredEmail(), std::nullopt);
}

}  // namespace
}  // namespace quillberry::fake
