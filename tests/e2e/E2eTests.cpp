// The normal day: a whole round with the reference service, and quitting from the menu.
#include "E2e.h"

namespace quillberry::e2e {
namespace {

TEST_F(E2e, CopyPressPasteWithTheReferenceServiceThenQuitFromTheMenu) {
    writeSettings("me@example.com");
    Child service(QUILLBERRY_SERVICE, {"--port", QString::number(QUILLBERRY_SERVICE_PORT)});
    QByteArray said;
    ASSERT_TRUE(waitFor([&] { return (said += service.readAll()).contains("listening"); })) << said.toStdString();
    startApp();
    for (QString lock : {"", "Num_Lock"}) {  // lock keys do not change what counts as Ctrl+U
        if (!lock.isEmpty()) key(lock);
        const QString prompt = "écris un mail pour décaler la réunion" + lock;
        setClipboard(prompt);
        key("ctrl+u");
        const QString notice = awaitAlert();
        // (Ours until the X server's word that the app took it reaches this event loop.) The
        // reference service's prompt keeps the request whole, inside a text of its own.
        EXPECT_TRUE(waitFor(
            [&] {
                const QString improved = QGuiApplication::clipboard()->text();
                return improved.contains(prompt) && improved.size() > prompt.size();
            },
            3000))
            << QGuiApplication::clipboard()->text().toStdString();
        screenshot("success-notice" + lock);
        answer(notice);
    }
    const QStringList top = windows(true);
    for (const QString& w : windows())
        if (!top.contains(w)) run("xdotool", {"mousemove", "--window", w, "8", "8", "click", "1"});  // the icon
    ASSERT_TRUE(waitFor([] { return withRole("").size() == 1; })) << "the menu did not open";
    screenshot("status-menu");
    key("ctrl+q");  // "Quitter"'s key, while the tray menu is open
    ASSERT_TRUE(app->waitExit());
    EXPECT_TRUE(app->exitedCleanly());
}

TEST_F(E2e, TheTriggerCommandPressesForTheRunningInstanceAndStartsNothingAlone) {
    writeSettings("me@example.com");
    listenAsService();
    Child alone(QUILLBERRY_APP, {"--trigger"});
    ASSERT_TRUE(alone.waitExit());
    EXPECT_NE(alone.exitCode(), 0);
    EXPECT_FALSE(alone.readAll().isEmpty()) << "it says why";
    EXPECT_EQ(trayIcons(), 0);
    startApp();
    setClipboard("texte");
    Child first(QUILLBERRY_APP, {"--trigger"}), second(QUILLBERRY_APP, {"--trigger"});  // at once: one run
    ASSERT_TRUE(first.waitExit() && second.waitExit());
    EXPECT_TRUE(first.exitedCleanly() && second.exitedCleanly());
    serveNext("texte", "mieux");
    answer(awaitAlert());
    EXPECT_FALSE(stub.hasPendingConnections()) << "the two triggers made two runs";
    EXPECT_EQ(trayIcons(), 1);
}

}  // namespace
}  // namespace quillberry::e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
