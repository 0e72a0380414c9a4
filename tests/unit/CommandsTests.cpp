#include "FakePlatform.h"
#include "account/Preferences.h"
#include "commands/Commands.h"
#include "config/Constants.h"

namespace quillberry::fake {
namespace {

struct UrlCase {
    std::string url;
    bool handedOver;
};
class SupportLink : public ::testing::TestWithParam<UrlCase> {};

TEST_P(SupportLink, OnlyAWellFormedWebLinkGoesToTheDesktop) {
    EXPECT_EQ(isValidUrl(GetParam().url), GetParam().handedOver);
}

const UrlCase URLS[] = {
    {"https://wa.me/15555550123", true},
    {"http://127.0.0.1:8787/aide?x=1#fin", true},
    {"https://wa.me/" + std::string(2030, 'a'), true},
    {"https://wa.me/" + std::string(2040, 'a'), false},
    {"https://support@wa.me/1", false},
    {"https://wa.me:x@evil.example/", false},
    {"file:///etc/passwd", false},
    {"javascript:alert(1)", false},
    {"ftp://wa.me/", false},
    {"https:///path", false},
    {"https://wa.me/a b", false},
    {"https://wa.me/\"; rm -rf ~", false},
    {"https://wa.me/\n", false},
    {std::string("https://wa.me/\0x", 16), false},
    {"https://wa.m\xC3\xA9/", false},
    {"not a url", false},
    {"", false},
};
INSTANTIATE_TEST_SUITE_P(Table, SupportLink, ::testing::ValuesIn(URLS));

struct AutoModeCase {
    bool trusted;
    int answer;
    int prompts;
    bool trustedAfter;
};
class AutoMode : public LaunchedApp, public ::testing::WithParamInterface<AutoModeCase> {};

// Turned on only by "Activer", off only by "Désactiver"; either change is said in one line.
TEST_P(AutoMode, IsTurnedOnOrOffOnlyByTheUsersAnswerAndSaysSo) {
    markOnboardingDone();
    launch();
    fake.trusted = GetParam().trusted;
    fake.answer(GetParam().answer);
    app().enableAutoMode();
    EXPECT_EQ(fake.trustPrompts, GetParam().prompts);
    EXPECT_EQ(fake.trusted, GetParam().trustedAfter);
    const bool changed = GetParam().trusted != GetParam().trustedAfter;
    ASSERT_EQ(fake.shown.size(), changed ? 2u : 1u);
    if (changed) {
        EXPECT_FALSE(fake.shown[1].informativeText);
        EXPECT_EQ(fake.shown[1].messageText.find('\n'), std::string::npos);
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, AutoMode,
                         ::testing::Values(AutoModeCase{true, 1000, 0, true}, AutoModeCase{true, 1001, 0, false},
                                           AutoModeCase{false, 1001, 0, false}, AutoModeCase{false, 1000, 1, true}));

}  // namespace
}  // namespace quillberry::fake
