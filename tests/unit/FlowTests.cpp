#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "account/Preferences.h"
#include "shell/Constants.h"

namespace quillberry::fake {
namespace {

using namespace std::chrono_literals;

struct Flow : LaunchedApp {
    void SetUp() override {
        fake.bools[std::string(ONBOARDING_KEY)] = true;
        launch();
        storeEmail("me@example.com");
    }
    void press() {
        fake.hotkeyHandler();
        fake.queue.runUntilIdle();
    }
    std::string sentPrompt(size_t i = 0) {
        return nlohmann::json::parse(*fake.web.calls.at(i).request.body).at("prompt");
    }
    const AlertSpec& lastAlert() { return fake.alertBox.shown.back().spec; }
    void expectIdle() {
        EXPECT_FALSE(app().isProcessing);
        EXPECT_NE(button().image, nullptr);
        EXPECT_EQ(button().title, "");
    }
    void expectBusy() {
        EXPECT_TRUE(app().isProcessing);
        EXPECT_EQ(button().image, nullptr);
        EXPECT_EQ(button().title, "...");
    }
};

TEST_F(Flow, ManualSuccessSendsUntrimmedTextAndKeepsTheResultOnTheClipboard) {
    fake.board.text = "  fix my prompt \n";
    press();
    expectBusy();
    ASSERT_EQ(fake.web.calls.size(), 1u);
    EXPECT_EQ(sentPrompt(), "  fix my prompt \n");
    EXPECT_EQ(nlohmann::json::parse(*fake.web.calls[0].request.body).at("email"), "me@example.com");

    // While the notice is open the user copies part of the viewer's text.
    std::optional<std::string> clipboardDuringNotice;
    fake.alertBox.script.push_back([&](const AlertSpec&) {
        clipboardDuringNotice = fake.board.text;
        fake.board.text = "part";
        return AlertAnswer{1000, ""};
    });
    fake.web.respond(200, R"({"improved_prompt":"Better prompt"})");
    EXPECT_EQ(fake.alertBox.shown.size(), 0u) << "the reply is handed to the main queue first";
    fake.queue.runUntilIdle();

    EXPECT_EQ(clipboardDuringNotice, "Better prompt");
    EXPECT_EQ(fake.board.text, "Better prompt");
    const AlertSpec& notice = lastAlert();
    EXPECT_EQ(notice.style, ALERT_STYLE_INFORMATIONAL);
    EXPECT_EQ(notice.messageText, "Prompt optimisé - copié dans le presse-papier");
    EXPECT_FALSE(notice.informativeText.has_value());
    EXPECT_EQ(notice.buttons, std::vector<std::string>{"Coller (Cmd+V)"});
    ASSERT_TRUE(notice.resultViewer);
    EXPECT_EQ(notice.resultViewer->text, "Better prompt");
    EXPECT_EQ(notice.resultViewer->width, 420);
    EXPECT_EQ(notice.resultViewer->height, 180);
    EXPECT_EQ(notice.resultViewer->font.pointSize, 13);
    expectIdle();
}

TEST_F(Flow, EmptyImprovedPromptIsASuccess) {
    fake.board.text = "x";
    press();
    fake.web.respond(200, R"({"improved_prompt":""})");
    fake.queue.runUntilIdle();
    EXPECT_EQ(lastAlert().messageText, "Prompt optimisé - copié dans le presse-papier");
    EXPECT_EQ(fake.board.text, "");
    expectIdle();
}

TEST_F(Flow, FailureLeavesTheCapturedTextSoTheNextPressSendsItAgain) {
    fake.board.text = "my text";
    press();
    fake.web.respond(HttpResponse{true, std::nullopt, std::nullopt});
    fake.queue.runUntilIdle();
    const AlertSpec& notice = lastAlert();
    EXPECT_EQ(notice.style, ALERT_STYLE_CRITICAL);
    EXPECT_EQ(notice.messageText, "Échec de l'optimisation");
    EXPECT_EQ(notice.informativeText, "Vérifie ta connexion et réessaie.");
    EXPECT_EQ(notice.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(fake.board.text, "my text");
    EXPECT_EQ(fake.board.writes, 0);
    expectIdle();
    press();
    EXPECT_EQ(sentPrompt(), "my text");
}

TEST_F(Flow, PressesWhileBusyDoNothing) {
    fake.board.text = "text";
    press();
    size_t alerts = fake.alertBox.shown.size();
    press();
    press();
    EXPECT_EQ(fake.web.calls.size(), 1u);
    EXPECT_EQ(fake.alertBox.shown.size(), alerts);
    expectBusy();
}

struct BlankCase { std::optional<std::string> clipboard; };
class BlankClipboard : public Flow, public ::testing::WithParamInterface<BlankCase> {};

TEST_P(BlankClipboard, ManualModeSaysTheClipboardIsEmptyAndSendsNothing) {
    fake.board.text = GetParam().clipboard;
    press();
    EXPECT_TRUE(fake.web.calls.empty());
    const AlertSpec& notice = lastAlert();
    EXPECT_EQ(notice.style, ALERT_STYLE_INFORMATIONAL);
    EXPECT_EQ(notice.messageText, "Presse-papier vide");
    EXPECT_EQ(notice.informativeText, "Copie d'abord ton prompt avec Cmd+C, puis appuie sur Cmd+U.");
    EXPECT_EQ(notice.buttons, std::vector<std::string>{"Compris"});
    EXPECT_EQ(fake.board.text, GetParam().clipboard) << "left as it was";
    expectIdle();
}
INSTANTIATE_TEST_SUITE_P(Cases, BlankClipboard,
                         ::testing::Values(BlankCase{std::nullopt}, BlankCase{""}, BlankCase{" \t\r\n "},
                                           BlankCase{"\xC2\xA0\xE2\x80\xA8\xE3\x80\x80\xC2\x85\x0B\x0C"}));

TEST_F(Flow, AutomaticModeCopiesTheSelectionAfterAWait) {
    fake.trusted = true;
    fake.board.text = "old clipboard";
    fake.selection = "selected words";
    fake.hotkeyHandler();
    fake.queue.runUntilIdle();
    EXPECT_EQ(fake.board.text, "selected words");
    EXPECT_TRUE(fake.web.calls.empty()) << "capture waits for the copy to land";
    fake.queue.advance(299ms);
    EXPECT_TRUE(fake.web.calls.empty());
    fake.queue.advance(1ms);
    ASSERT_EQ(fake.web.calls.size(), 1u);
    EXPECT_EQ(sentPrompt(), "selected words");
}

TEST_F(Flow, AutomaticModeWithNothingSelectedEmptiesTheClipboard) {
    fake.trusted = true;
    fake.board.text = "old clipboard";
    press();
    fake.queue.advance(300ms);
    EXPECT_EQ(fake.board.text, std::nullopt);
    EXPECT_EQ(lastAlert().messageText, "Aucun texte sélectionné");
    EXPECT_EQ(lastAlert().informativeText, "Sélectionne du texte puis appuie sur Cmd+U.");
    EXPECT_TRUE(fake.web.calls.empty());
    expectIdle();
}

TEST_F(Flow, CaptureRunsOnlyAfterThePressHasReturnedEvenInManualMode) {
    fake.board.text = "text";
    app().handleHotkey();
    expectBusy();
    EXPECT_TRUE(fake.web.calls.empty());
    fake.queue.runUntilIdle();
    EXPECT_EQ(fake.web.calls.size(), 1u);
}

TEST_F(Flow, MissingEmailAsksWhileBusyThenRestartsTheSamePress) {
    clearEmail();
    fake.board.text = "text";
    std::string titleDuringDialog;
    fake.alertBox.script.push_back([&](const AlertSpec&) {
        titleDuringDialog = button().title;
        // A press that arrives while the dialog is up is ignored.
        app().handleHotkey();
        return AlertAnswer{1000, " new@example.com "};
    });
    press();
    EXPECT_EQ(titleDuringDialog, "...");
    ASSERT_EQ(fake.web.calls.size(), 1u) << "no second press needed";
    EXPECT_EQ(nlohmann::json::parse(*fake.web.calls[0].request.body).at("email"), "new@example.com");
    EXPECT_EQ(fake.alertBox.shown.size(), 1u) << "no confirmation on this path";
    expectBusy();
}

TEST_F(Flow, CancelledOrRefusedEmailEndsQuietly) {
    clearEmail();
    fake.board.text = "text";
    fake.answer(1001, "a@b");
    fake.answer(1000, "no at sign");
    for (int i = 0; i < 2; ++i) {
        press();
        expectIdle();
    }
    EXPECT_TRUE(fake.web.calls.empty());
    EXPECT_EQ(fake.alertBox.shown.size(), 2u);
    EXPECT_EQ(getStoredEmail(), std::nullopt);
}

}  // namespace
}  // namespace quillberry::fake
