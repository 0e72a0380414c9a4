// The built app in a real X server with a tray host: real key presses (XTEST, through
// xdotool), the real clipboard, real dialogs, and the reference service on the app's
// compiled-in port.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QTcpServer>
#include <QTemporaryDir>
#include <fstream>

#include "Processes.h"
#include "config/Constants.h"

namespace quillberry::e2e {
namespace {
using testing::Child;
using testing::waitFor;

QStringList run(const QString& program, const QStringList& args) {
    return QString(testing::run(program, args)).split('\n', Qt::SkipEmptyParts);
}

// The app's mapped windows: all of them, or the top-level ones (dialogs, windows, menus).
QStringList windows(bool topLevel = false) {
    QStringList args{"search", "--onlyvisible", "--classname", "^quillberry$"};
    if (topLevel) args = QStringList{"search", "--maxdepth", "1"} + args.mid(1);
    return run("xdotool", args);
}
// The top-level windows with this role ("quillberry-alert", "quillberry-window", "" for menus).
QStringList withRole(const QString& role) {
    QStringList found;
    for (const QString& w : windows(true)) {
        QString property = run("xprop", {"-id", w, "WM_WINDOW_ROLE"}).value(0);
        if (property.contains('"') ? property.endsWith('"' + role + '"') : role.isEmpty()) found << w;
    }
    return found;
}
// The app's icons in the tray host: its windows that are not top-level.
qsizetype trayIcons() { return windows().size() - windows(true).size(); }

struct E2e : ::testing::Test {
    QTemporaryDir home;  // each case is a new user: its own home and runtime folder
    std::unique_ptr<Child> tray, app;

    void SetUp() override {
        ASSERT_TRUE(QDir(home.path()).mkdir("runtime"));
        QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_RUNTIME_DIR", home.filePath("runtime").toUtf8());
        tray = std::make_unique<Child>("trayer", QStringList{"--edge", "top", "--align", "right", "--widthtype",
                                                             "request", "--height", "24", "--SetDockType", "true"});
    }
    void TearDown() override {
        if (HasFailure()) screenshot(QString("FAIL-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        app.reset();
        tray.reset();
    }
    static void screenshot(const QString& name) {
        QDir().mkpath(QUILLBERRY_SHOTS);
        run("import", {"-window", "root", QString(QUILLBERRY_SHOTS) + "/" + name + ".png"});
    }
    void writeSettings(const std::string& email) {
        QString folder = home.filePath(".config/" + QString::fromUtf8(SETTINGS_FOLDER.data(), SETTINGS_FOLDER.size()));
        QDir().mkpath(folder);
        std::ofstream(folder.toStdString() + "/" + std::string(BUNDLE_ID) + ".ini")
            << "[General]\n" << ONBOARDING_KEY << "=true\n" << EMAIL_KEY << "=" << email << "\n";
    }
    void startApp() {
        app = std::make_unique<Child>(QUILLBERRY_APP);
        ASSERT_TRUE(waitFor([] { return trayIcons() == 1; })) << "the icon never reached the tray";
    }
    // Returns once the X server knows we own the clipboard, so a press that follows reads it.
    static void setClipboard(const QString& text) {
        QGuiApplication::clipboard()->setText(text);
        xcb_connection_t* c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    static void key(const QString& keys) { run("xdotool", {"key", keys}); }
    static QString awaitAlert() {
        QStringList found;
        EXPECT_TRUE(waitFor([&] { return !(found = withRole("quillberry-alert")).empty(); })) << "no notice appeared";
        return found.value(0);
    }
    static void answer(const QString& window) {
        run("xdotool", {"windowfocus", "--sync", window});  // there is no window manager
        key("Return");
        EXPECT_TRUE(waitFor([] { return withRole("quillberry-alert").empty(); })) << "the notice did not close";
    }
};

TEST_F(E2e, OneInstanceAtATimeAndAKilledOneBlocksNothing) {
    startApp();
    EXPECT_TRUE(waitFor([] { return !withRole("quillberry-window").empty(); }));
    Child second(QUILLBERRY_APP);
    ASSERT_TRUE(second.waitExit());
    EXPECT_TRUE(second.exitedCleanly());
    EXPECT_TRUE(second.readAll().isEmpty()) << "a second start says nothing";
    EXPECT_EQ(trayIcons(), 1);
    EXPECT_TRUE(app->running());
    screenshot("first-run");
    app->kill();  // a killed instance leaves nothing that stops the next start
    ASSERT_TRUE(waitFor([] { return trayIcons() == 0; }));
    startApp();
    EXPECT_TRUE(app->running());
}

TEST_F(E2e, CopyPressPasteWithTheReferenceServiceThenQuitFromTheMenu) {
    writeSettings("me@example.com");
    Child service(QUILLBERRY_SERVICE, {"--port", QString::number(QUILLBERRY_SERVICE_PORT)});
    ASSERT_TRUE(waitFor([&] { return service.readAll().contains("listening"); }));
    startApp();
    for (QString lock : {"", "Num_Lock"}) {  // lock keys do not change what counts as Ctrl+U
        if (!lock.isEmpty()) key(lock);
        const QString prompt = "écris un mail pour décaler la réunion" + lock;
        setClipboard(prompt);
        key("ctrl+u");
        const QString notice = awaitAlert();
        EXPECT_TRUE(waitFor([&] {
            QString improved = QGuiApplication::clipboard()->text();
            return improved.contains(prompt) && improved.contains("\nFormat attendu :");
        }, 3000)) << QGuiApplication::clipboard()->text().toStdString();
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

TEST_F(E2e, SigtermEndsTheAppAtOnceDuringAStalledRequest) {
    writeSettings("me@example.com");
    QTcpServer silent;  // takes connections and never answers
    ASSERT_TRUE(waitFor([&] { return silent.listen(QHostAddress::LocalHost, QUILLBERRY_SERVICE_PORT); }));
    startApp();
    setClipboard("texte");
    key("ctrl+u");
    ASSERT_TRUE(waitFor([&] { return silent.hasPendingConnections(); }));
    silent.nextPendingConnection();  // held open, never answered
    app->terminate();
    ASSERT_TRUE(app->waitExit(3000)) << "quitting does not wait for the request";
    EXPECT_TRUE(app->exitedCleanly());
}

}  // namespace
}  // namespace quillberry::e2e

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
