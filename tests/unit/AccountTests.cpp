#include "FakePlatform.h"
#include "account/EmailPrompt.h"
#include "account/Preferences.h"

namespace quillberry::fake {
namespace {

struct EmailCase {
    std::string name, raw;
    std::optional<std::string> accepted;
};
class EmailRule : public ::testing::TestWithParam<EmailCase> {};

TEST_P(EmailRule, TrimsSpacesNotLineBreaksAndNeedsAnAt) {
    EXPECT_EQ(validatedEmail(GetParam().raw), GetParam().accepted);
}

const EmailCase EMAILS[] = {
    {"SpacesAndTabs", " \t me@example.com\t  ", "me@example.com"},
    {"UnicodeSpaces", "\xC2\xA0\xE3\x80\x80\xE1\x9A\x80me@x\xE2\x80\xAF\xE2\x81\x9F\xE2\x80\x80", "me@x"},
    {"LineFeedKept", "me@x\n", "me@x\n"},
    {"SeparatorKept", "\xE2\x80\xA8me@x", "\xE2\x80\xA8me@x"},
    {"NelKeptAfterSpace", " me@x\xC2\x85 ", "me@x\xC2\x85"},
    {"InnerSpacesUntouched", " a b@c d ", "a b@c d"},
    {"AtAlone", "@", "@"},
    {"Empty", "", std::nullopt},
    {"SpacesOnly", "  \t\xC2\xA0 ", std::nullopt},
    {"NoAt", "me.example.com", std::nullopt},
    {"ZeroWidthSpaceIsNotTrimmed", "\xE2\x80\x8Bme@x", "\xE2\x80\x8Bme@x"},
};
INSTANTIATE_TEST_SUITE_P(Table, EmailRule, ::testing::ValuesIn(EMAILS), [](const auto& c) { return c.param.name; });

using Account = LaunchedApp;

TEST_F(Account, ChangeEmailConfirmsOnlyAnAcceptedAddressAndLogoutAlwaysSaysItForgot) {
    launch();
    fake.answer(1000, "new@example.com");
    fake.answer(1000, "   ");
    app().changeEmailAction();
    app().changeEmailAction();
    EXPECT_EQ(fake.shown.size(), 3u) << "prompt, confirmation, prompt";
    EXPECT_EQ(getStoredEmail(), "new@example.com");
    app().logoutAction();
    app().logoutAction();
    EXPECT_EQ(getStoredEmail(), std::nullopt);
    EXPECT_EQ(fake.shown.size(), 5u);
}

}  // namespace
}  // namespace quillberry::fake
