#include <nlohmann/json.hpp>

#include "FakePlatform.h"
#include "account/Preferences.h"
#include "config/Constants.h"
#include "service/ServiceClient.h"

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
    // The look and the busy flag agree: "..." without icon while busy, the icon when idle.
    void expectBusy(bool busy) {
        EXPECT_EQ(app().flow.isProcessing(), busy);
        EXPECT_EQ(item().image == nullptr, busy);
        EXPECT_EQ(item().title, busy ? "..." : "");
    }
};

TEST_F(Flow, ASuccessSendsTheUntrimmedTextAndLeavesTheResultOnTheClipboard) {
    fake.clipboard = "  fix my prompt \n";
    press();
    expectBusy(true);
    EXPECT_EQ(sent(), (nlohmann::json{{"prompt", "  fix my prompt \n"}, {"email", "me@example.com"}}));
    std::optional<std::string> duringNotice;
    fake.script.push_back([&](const AlertSpec&) {
        duringNotice = fake.clipboard;
        fake.clipboard = "part of it, copied from the viewer";
        return AlertAnswer{};
    });
    fake.respond(200, R"({"improved_prompt":"Better prompt"})");
    EXPECT_TRUE(fake.shown.empty()) << "the reply is handed to the main queue first";
    fake.queue.advance();
    EXPECT_EQ(duringNotice, "Better prompt");
    EXPECT_EQ(fake.clipboard, "Better prompt");
    EXPECT_EQ(fake.shown.at(0).resultViewer->text, "Better prompt");
    expectBusy(false);
}

TEST_F(Flow, AFailureShowsTheCriticalNoticeAndPressesWhileBusyDoNothing) {
    fake.clipboard = "my text";
    press();
    press();
    app().handleHotkey();
    EXPECT_EQ(fake.calls.size(), 1u);
    fake.respond(HttpResponse{true, std::nullopt, std::nullopt});
    fake.queue.advance();
    EXPECT_EQ(fake.shown.at(0).style, AlertStyle::Critical);
    expectBusy(false);
}

struct CaptureCase {
    bool automatic;
    std::optional<std::string> clipboard, selection;
    bool sent;
};
class Capture : public Flow, public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(Capture, TakesTheClipboardOrAfterAWaitTheSelectionAndRefusesBlankText) {
    const CaptureCase& c = GetParam();
    fake.trusted = c.automatic;
    fake.clipboard = c.clipboard;
    fake.selection = c.selection;
    press();
    fake.queue.advance(1s);  // automatic mode waits for the copy to land
    EXPECT_EQ(fake.calls.size(), c.sent ? 1u : 0u);
    if (c.sent) {
        EXPECT_EQ(sent().at("prompt"), c.automatic ? *c.selection : *c.clipboard);
    } else {
        EXPECT_EQ(fake.clipboard, c.clipboard) << "nothing captured: what the user had stays";
        EXPECT_EQ(fake.shown.at(0).messageText, c.automatic ? "Aucun texte sélectionné" : "Presse-papier vide");
        expectBusy(false);
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, Capture,
                         ::testing::Values(CaptureCase{false, "text", std::nullopt, true},
                                           CaptureCase{false, std::nullopt, std::nullopt, false},
                                           CaptureCase{false, " \t\r\n ", std::nullopt, false},
                                           CaptureCase{false,
                                                       "\xC2\xA0\xE2\x80\xA8\xE3\x80\x80\xC2\x85\x0B\x0C\xE2\x80\x8A",
                                                       std::nullopt, false},
                                           CaptureCase{true, "old clipboard", "selected words", true},
                                           CaptureCase{true, "old clipboard", std::nullopt, false}));

// A failure is said with what the user can do about it.
struct FailureCase {
    std::size_t textBytes;
    std::optional<HttpResponse> reply;  // absent: nothing may be sent
    std::vector<std::string> named;     // what the explanation names
};
class Failure : public Flow, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failure, IsSaidWithWhatTheUserCanDo) {
    fake.clipboard = std::string(GetParam().textBytes, 'a');
    press();
    ASSERT_EQ(fake.calls.size(), GetParam().reply ? 1u : 0u);
    if (GetParam().reply) fake.respond(*GetParam().reply), fake.queue.advance();
    ASSERT_EQ(fake.shown.size(), 1u);
    EXPECT_EQ(fake.shown[0].style, AlertStyle::Critical);
    for (const std::string& name : GetParam().named)
        EXPECT_NE(fake.shown[0].informativeText->find(name), std::string::npos) << *fake.shown[0].informativeText;
    expectBusy(false);
}
const bool LOCAL = serviceIsLocal(SERVER_URL);
INSTANTIATE_TEST_SUITE_P(
    Cases, Failure,
    ::testing::Values(FailureCase{10, HttpResponse{true, std::nullopt, std::nullopt}, {"connexion"}},
                      // Nothing listens on the service's port: on this machine, the user can start it.
                      FailureCase{10,
                                  HttpResponse{true, std::nullopt, std::nullopt, true},
                                  {LOCAL ? "systemctl start quillberry-service" : "connexion"}},
                      FailureCase{10, HttpResponse{false, 502, std::nullopt, false}, {"connexion"}},
                      // Over the request limit: its size and the limit, and nothing sent.
                      FailureCase{(MAX_REQUEST_BYTES * 5) / 2, std::nullopt, {"2,5 Mo", "1 Mo"}}));

struct EmailCase {
    int response;
    std::string typed;
    bool sent;
};
class MissingEmail : public Flow, public ::testing::WithParamInterface<EmailCase> {};

TEST_P(MissingEmail, IsAskedForWhileBusyAndAnAcceptedOneCarriesTheSamePressOn) {
    clearEmail();
    fake.clipboard = "text";
    std::string titleDuringDialog;
    fake.script.push_back([&](const AlertSpec&) {
        titleDuringDialog = item().title;
        app().handleHotkey();  // ignored: the run is already busy
        return AlertAnswer{GetParam().response, GetParam().typed};
    });
    press();
    EXPECT_EQ(titleDuringDialog, "...");
    EXPECT_EQ(fake.shown.size(), 1u);
    ASSERT_EQ(fake.calls.size(), GetParam().sent ? 1u : 0u);
    EXPECT_EQ(getStoredEmail(), GetParam().sent ? std::optional<std::string>("new@example.com") : std::nullopt);
    EXPECT_TRUE(!GetParam().sent || sent().at("email") == "new@example.com");
    expectBusy(GetParam().sent);
}
INSTANTIATE_TEST_SUITE_P(Answers, MissingEmail,
                         ::testing::Values(EmailCase{1000, " new@example.com ", true}, EmailCase{1001, "a@b", false},
                                           EmailCase{1000, "no at sign", false}));

}  // namespace
}  // namespace quillberry::fake
