#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "account/Preferences.h"

namespace quillberry::fake {
namespace {

using namespace std::chrono_literals;

struct Flow : LaunchedApp {
    void SetUp() override {
        markOnboardingDone();
        launch();
        storeEmail("me@example.com");
    }
    void press() {
        fake.hotkeyHandler();
        fake.queue.advance();
    }
    nlohmann::json sent() { return nlohmann::json::parse(*fake.calls.at(0).request.body); }
    void reply(HttpResponse response) {
        fake.respond(std::move(response));
        EXPECT_EQ(fake.shown.size(), 0u) << "the reply is handed to the main queue first";
        fake.queue.advance();
    }
    void expectIdle() {
        EXPECT_FALSE(app().flow.isProcessing());
        EXPECT_NE(item().image, nullptr);
        EXPECT_EQ(item().title, "");
    }
    void expectBusy() {
        EXPECT_TRUE(app().flow.isProcessing());
        EXPECT_EQ(item().image, nullptr);
        EXPECT_EQ(item().title, "...");
    }
};

TEST_F(Flow, SuccessSendsTheUntrimmedTextAndLeavesTheResultOnTheClipboard) {
    fake.clipboard = "  fix my prompt \n";
    press();
    expectBusy();
    EXPECT_EQ(sent(), (nlohmann::json{{"prompt", "  fix my prompt \n"}, {"email", "me@example.com"}}));
    std::optional<std::string> clipboardDuringNotice;
    fake.script.push_back([&](const AlertSpec&) {
        clipboardDuringNotice = fake.clipboard;
        fake.clipboard = "part of it, copied from the viewer";
        return AlertAnswer{};
    });
    reply({false, 200, R"({"improved_prompt":"Better prompt"})"});
    EXPECT_EQ(clipboardDuringNotice, "Better prompt");
    EXPECT_EQ(fake.clipboard, "Better prompt");
    ASSERT_TRUE(fake.shown.back().resultViewer);
    EXPECT_EQ(fake.shown.back().resultViewer->text, "Better prompt");
    expectIdle();
}

TEST_F(Flow, FailureLeavesTheClipboardAloneSoTheNextPressSendsItAgain) {
    fake.clipboard = "my text";
    press();
    reply({true, std::nullopt, std::nullopt});
    EXPECT_EQ(fake.shown.back().style, AlertStyle::Critical);
    EXPECT_EQ(fake.clipboardWrites, 0);
    expectIdle();
    press();
    EXPECT_EQ(sent().at("prompt"), "my text");
}

TEST_F(Flow, PressesWhileBusyDoNothing) {
    fake.clipboard = "text";
    press();
    press();
    app().handleHotkey();
    EXPECT_EQ(fake.calls.size(), 1u);
    EXPECT_TRUE(fake.shown.empty());
    expectBusy();
}

class BlankClipboard : public Flow, public ::testing::WithParamInterface<std::optional<std::string>> {};

TEST_P(BlankClipboard, SaysTheClipboardIsEmptyAndSendsNothing) {
    fake.clipboard = GetParam();
    press();
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(fake.shown.back().messageText, "Presse-papier vide");
    EXPECT_EQ(fake.clipboard, GetParam());
    expectIdle();
}
INSTANTIATE_TEST_SUITE_P(Cases, BlankClipboard,
                         ::testing::Values(std::nullopt, "", " \t\r\n ",
                                           "\xC2\xA0\xE2\x80\xA8\xE3\x80\x80\xC2\x85\x0B\x0C\xE2\x80\x8A"));

TEST_F(Flow, AutomaticModeCopiesTheSelectionAndReadsItAfterTheWait) {
    fake.trusted = true;
    fake.clipboard = "old clipboard";
    fake.selection = "selected words";
    press();
    EXPECT_EQ(fake.clipboard, "selected words");
    fake.queue.advance(299ms);
    EXPECT_TRUE(fake.calls.empty()) << "capture waits for the copy to land";
    fake.queue.advance(1ms);
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(sent().at("prompt"), "selected words");
}

TEST_F(Flow, AutomaticModeWithNothingSelectedEmptiesTheClipboardAndSaysSo) {
    fake.trusted = true;
    fake.clipboard = "old clipboard";
    press();
    fake.queue.advance(300ms);
    EXPECT_EQ(fake.clipboard, std::nullopt);
    EXPECT_EQ(fake.shown.back().messageText, "Aucun texte sélectionné");
    EXPECT_TRUE(fake.calls.empty());
    expectIdle();
}

TEST_F(Flow, AMissingEmailIsAskedForWhileBusyAndTheSamePressGoesOn) {
    clearEmail();
    fake.clipboard = "text";
    std::string titleDuringDialog;
    fake.script.push_back([&](const AlertSpec&) {
        titleDuringDialog = item().title;
        app().handleHotkey();  // ignored: the run is already busy
        return AlertAnswer{1000, " new@example.com "};
    });
    press();
    EXPECT_EQ(titleDuringDialog, "...");
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(sent().at("email"), "new@example.com");
    EXPECT_EQ(fake.shown.size(), 1u);
    expectBusy();
}

TEST_F(Flow, ACancelledOrRefusedEmailEndsQuietly) {
    clearEmail();
    fake.clipboard = "text";
    fake.answer(1001, "a@b");
    fake.answer(1000, "no at sign");
    press();
    expectIdle();
    press();
    expectIdle();
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(fake.shown.size(), 2u);
}

}  // namespace
}  // namespace quillberry::fake
