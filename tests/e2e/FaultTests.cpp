// Bad days: hostile replies, hostile clipboards, racing starts, a lock someone else laid,
// a tray host that restarts. Each case is the real fault, on the built app.
#include <algorithm>

#include "E2e.h"

namespace quillberry::e2e {
namespace {

using Faults = E2e;

TEST_F(Faults, AFiveMegabyteOneLineReplyShowsWhileOtherProgramsPaste) {
    startSignedIn();
    setClipboard("texte");
    key("ctrl+u");
    const QByteArray improved(5'000'000, 'A');
    serveNext("texte", improved);
    const QString notice = awaitAlert();
    EXPECT_EQ(testing::run("xclip", {"-selection", "clipboard", "-o"}), improved) << "another program pastes it whole";
    answer(notice);
}

// (A reply cut or stalled fails like any transport error: the HTTP and flow tests.)
TEST_F(Faults, ARequestThatIsNeverAnsweredDoesNotHoldUpQuitting) {
    startSignedIn();
    setClipboard("texte");
    key("ctrl+u");
    const auto unanswered = nextRequest();  // held open: the request stays in flight
    ASSERT_TRUE(unanswered);
    app->terminate();
    ASSERT_TRUE(app->waitExit(3000)) << "quitting waited for the request";
    EXPECT_TRUE(app->exitedCleanly());
}

TEST_F(Faults, HugeImageOrUnservedClipboardsSendNothingAndKeepWhatTheyHold) {
    startSignedIn();
    const QString huge(20 << 20, 'x');
    setClipboard(huge);
    key("ctrl+u");
    answer(awaitAlert());
    EXPECT_EQ(QGuiApplication::clipboard()->text().size(), huge.size());

    auto* image = new QMimeData;
    image->setData("image/png",
                   QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhf"
                                          "DwAChwGA60e6kgAAAABJRU5ErkJggg=="));
    setClipboard("", image);
    key("ctrl+u");
    answer(awaitAlert());
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/png"));

    // An owner that takes the clipboard and never answers: Qt gives up after 5 s.
    xcb_connection_t* silent = xcb_connect(nullptr, nullptr);
    const xcb_window_t window = xcb_generate_id(silent);
    xcb_create_window(silent, 0, window, xcb_setup_roots_iterator(xcb_get_setup(silent)).data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    auto* atom = xcb_intern_atom_reply(silent, xcb_intern_atom(silent, 0, 9, "CLIPBOARD"), nullptr);
    xcb_set_selection_owner(silent, window, atom->atom, XCB_CURRENT_TIME);
    free(atom);
    free(xcb_get_input_focus_reply(silent, xcb_get_input_focus(silent), nullptr));
    key("ctrl+u");
    answer(awaitAlert());
    xcb_disconnect(silent);
    EXPECT_FALSE(stub.hasPendingConnections()) << "none of them reached the service";
    EXPECT_TRUE(app->running());
}

TEST_F(Faults, TheHotkeyIsTheUKeyPositionWhateverTheLayout) {
    startSignedIn();
    setClipboard("texte");
    run("setxkbmap", {"-layout", "us", "-variant", "dvorak"});
    key("ctrl+u");  // Dvorak's "u" is elsewhere: nothing happens
    key("ctrl+g");  // the key at the U position types "g" on Dvorak
    serveNext("texte", "mieux");
    run("setxkbmap", {"-layout", "us"});
    answer(awaitAlert());
    EXPECT_FALSE(stub.hasPendingConnections()) << "Ctrl with Dvorak's u sent a request too";
}

TEST_F(Faults, TenRacingStartsLeaveOneInstanceAndNeitherAKilledOneNorALinkedLockStopsTheNext) {
    std::vector<std::unique_ptr<Child>> starts;
    for (int i = 0; i < 10; ++i) starts.push_back(std::make_unique<Child>(QUILLBERRY_APP));
    auto ended = [&] { return std::count_if(starts.begin(), starts.end(), [](auto& c) { return !c->running(); }); };
    ASSERT_TRUE(waitFor([&] { return ended() == 9 && trayIcons() == 1; })) << ended() << " ended";
    EXPECT_TRUE(waitFor([] { return !withRole("quillberry-window").empty(); })) << "a first run shows the onboarding";
    screenshot("first-run");
    for (auto& c : starts)
        EXPECT_TRUE(c->running() || (c->exitedCleanly() && c->readAll().isEmpty())) << "said nothing";
    for (auto& c : starts) c->kill();  // a killed instance leaves nothing behind that stops the next
    ASSERT_TRUE(waitFor([] { return trayIcons() == 0; }));
    startApp();
    app.reset();

    const QString target = home.filePath("not-the-lock"),
                  lock = home.filePath("runtime/" + QString(BUNDLE_ID.data()) + ".lock");
    ASSERT_TRUE(QFile::remove(lock) && QFile::link(target, lock));
    startApp();
    EXPECT_FALSE(QFile::exists(target)) << "nothing was made through the link";
}

TEST_F(Faults, TheIconComesBackWhenTheTrayHostRestarts) {
    startSignedIn();
    tray.reset();
    ASSERT_TRUE(waitFor([] { return trayIcons() == 0; }));
    startTray();
    EXPECT_TRUE(waitFor([] { return trayIcons() == 1; }));
}

TEST_F(Faults, TheServiceStopsOnASignalThatArrivesWhileItStarts) {
    for (int i = 0; i < 10; ++i) {
        Child service(QUILLBERRY_SERVICE, {"--port", "0"});
        ASSERT_TRUE(service.waitForStarted());
        service.terminate();
        EXPECT_TRUE(service.waitExit(3000)) << "start " << i;
    }
}

}  // namespace
}  // namespace quillberry::e2e
