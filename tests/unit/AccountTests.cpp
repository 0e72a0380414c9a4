#include "TestSupport.h"
#include "account/EmailPrompt.h"
#include "account/Preferences.h"
#include "shell/Constants.h"

namespace quillberry::fake {
namespace {

struct EmailCase { std::string name, raw; std::optional<std::string> accepted; };
class EmailRule : public ::testing::TestWithParam<EmailCase> {};

TEST_P(EmailRule, TrimsSpacesNotLineBreaksAndNeedsAnAt) {
    EXPECT_EQ(validatedEmail(GetParam().raw), GetParam().accepted);
}

const EmailCase EMAILS[] = {
    {"Plain", "me@example.com", "me@example.com"},
    {"SpacesAndTabs", " \t me@example.com\t  ", "me@example.com"},
    {"NoBreakSpace", "\xC2\xA0me@x\xC2\xA0", "me@x"},
    {"IdeographicAndThinSpaces", "\xE3\x80\x80\xE2\x80\x89me@x\xE2\x80\xAF\xE2\x81\x9F", "me@x"},
    {"OghamAndEnQuad", "\xE1\x9A\x80me@x\xE2\x80\x80", "me@x"},
    {"LineFeedKept", "me@x\n", "me@x\n"},
    {"SeparatorKept", "\xE2\x80\xA8me@x", "\xE2\x80\xA8me@x"},
    {"NelKeptAfterSpace", " me@x\xC2\x85 ", "me@x\xC2\x85"},
    {"InnerSpacesUntouched", " a b@c d ", "a b@c d"},
    {"AtAlone", "@", "@"},
    {"CaseKept", "Me@Example.COM", "Me@Example.COM"},
    {"NoDotNeeded", "me@localhost", "me@localhost"},
    {"Empty", "", std::nullopt},
    {"SpacesOnly", "  \t\xC2\xA0 ", std::nullopt},
    {"NoAt", "me.example.com", std::nullopt},
    {"ZeroWidthSpaceIsNotTrimmed", "\xE2\x80\x8Bme@x", "\xE2\x80\x8Bme@x"},
};
INSTANTIATE_TEST_SUITE_P(Table, EmailRule, ::testing::ValuesIn(EMAILS),
                         [](const auto& info) { return info.param.name; });

using Account = LaunchedApp;

TEST_F(Account, PromptStoresAnAcceptedAddressBeforeItsCompletion) {
    fake.answer(1000, "  new@example.com ");
    std::optional<std::string> seenStored, received;
    int calls = 0;
    showEmailWindow([&](const std::optional<std::string>& e) { ++calls, received = e, seenStored = getStoredEmail(); });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received, "new@example.com");
    EXPECT_EQ(seenStored, "new@example.com");
    const AlertSpec& alert = fake.alertBox.shown.at(0).spec;
    EXPECT_EQ(alert.messageText, "Connexion à Quillberry");
    EXPECT_EQ(alert.informativeText, "Entre l'email utilisé pour ton abonnement.");
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Continuer", "Annuler"}));
    EXPECT_FALSE(alert.style.has_value());
    ASSERT_TRUE(alert.textField);
    EXPECT_EQ(alert.textField->width, 300);
    EXPECT_EQ(alert.textField->height, 24);
    EXPECT_EQ(alert.textField->placeholder, "Email");
}

TEST_F(Account, CancelOrRefusalStoresNothingAndSaysNothing) {
    storeEmail("old@example.com");
    fake.answer(1001, "valid@example.com");  // "Annuler" with an acceptable address
    fake.answer(1000, "no-at-sign");
    for (int i = 0; i < 2; ++i) {
        int calls = 0;
        std::optional<std::string> received = "unset";
        showEmailWindow([&](const std::optional<std::string>& e) { ++calls, received = e; });
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(received, std::nullopt);
    }
    EXPECT_EQ(getStoredEmail(), "old@example.com");
    EXPECT_EQ(fake.alertBox.shown.size(), 2u);
}

TEST_F(Account, ChangeEmailConfirmsOnlyAnAcceptedAddress) {
    launch();
    storeEmail("same@example.com");
    fake.answer(1000, "same@example.com");
    app().changeEmailAction();
    ASSERT_EQ(fake.alertBox.shown.size(), 2u);
    const AlertSpec& confirmation = fake.alertBox.shown[1].spec;
    EXPECT_EQ(confirmation.messageText, "Email mis à jour");
    EXPECT_EQ(confirmation.informativeText, "Tu utilises maintenant : same@example.com");
    EXPECT_TRUE(confirmation.buttons.empty());

    fake.answer(1000, "   ");
    app().changeEmailAction();
    EXPECT_EQ(fake.alertBox.shown.size(), 3u) << "a refused entry shows no confirmation";
    EXPECT_EQ(getStoredEmail(), "same@example.com");
}

TEST_F(Account, LogoutForgetsTheAddressAndAlwaysSaysSo) {
    launch();
    markOnboardingDone();
    storeEmail("me@example.com");
    for (int i = 0; i < 2; ++i) {  // the second time nothing is stored
        app().logoutAction();
        const AlertSpec& notice = fake.alertBox.shown.back().spec;
        EXPECT_EQ(notice.messageText, "Déconnecté");
        EXPECT_EQ(notice.informativeText, "Ton email a été supprimé.");
        EXPECT_EQ(getStoredEmail(), std::nullopt);
    }
    EXPECT_TRUE(isOnboardingDone());
    EXPECT_EQ(fake.alertBox.shown.size(), 2u) << "no e-mail prompt follows";
}

}  // namespace
}  // namespace quillberry::fake
