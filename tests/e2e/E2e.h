#pragma once
// The built app in a real X server with a tray host: real key presses (XTEST, through
// xdotool), the real clipboard, real dialogs, and a service on the app's compiled-in port.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>

#include "Processes.h"
#include "ServiceStub.h"
#include "config/Constants.h"

namespace quillberry::e2e {
using testing::Child;
using testing::waitFor;

inline QStringList run(const QString& program, const QStringList& args) {
    return QString(testing::run(program, args)).split('\n', Qt::SkipEmptyParts);
}

// The app's mapped windows: all of them, or the top-level ones (dialogs, windows, menus).
inline QStringList windows(bool topLevel = false) {
    QStringList args{"search", "--onlyvisible", "--classname", "^quillberry$"};
    if (topLevel) args = QStringList{"search", "--maxdepth", "1"} + args.mid(1);
    return run("xdotool", args);
}
// The top-level windows with this role ("quillberry-alert", "quillberry-window", "" for menus).
inline QStringList withRole(const QString& role) {
    QStringList found;
    for (const QString& w : windows(true)) {
        QString property = run("xprop", {"-id", w, "WM_WINDOW_ROLE"}).value(0);
        if (property.contains('"') ? property.endsWith('"' + role + '"') : role.isEmpty()) found << w;
    }
    return found;
}
// The app's icons in the tray host: its windows that are not top-level.
inline qsizetype trayIcons() { return windows().size() - windows(true).size(); }

struct E2e : ::testing::Test, testing::ServiceStub {
    QTemporaryDir home;  // each case is a new user: its own home and runtime folder
    std::unique_ptr<Child> tray, app;

    void SetUp() override {
        ASSERT_TRUE(QDir(home.path()).mkdir("runtime"));
        QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_RUNTIME_DIR", home.filePath("runtime").toUtf8());
        startTray();
    }
    void startTray() {
        tray = std::make_unique<Child>("trayer", QStringList{"--edge", "top", "--align", "right", "--widthtype",
                                                             "request", "--height", "24", "--SetDockType", "true"});
    }
    void TearDown() override {
        if (HasFailure())
            screenshot(QString("FAIL-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        app.reset();
        tray.reset();
    }
    static void screenshot(const QString& name) {
        QDir().mkpath(QUILLBERRY_SHOTS);
        run("import", {"-window", "root", QString(QUILLBERRY_SHOTS) + "/" + name + ".png"});
    }
    void writeSettings(const std::string& email) { testing::writeSettings(home.path(), email); }
    // The app of a user who finished the onboarding, with this test as its service.
    void startSignedIn() {
        writeSettings("me@example.com");
        listenAsService();
        startApp();
    }
    void startApp(const QString& binary = QUILLBERRY_APP) {
        app = std::make_unique<Child>(binary);
        ASSERT_TRUE(waitFor([] { return trayIcons() == 1; })) << "the icon never reached the tray";
    }
    // Returns once the X server knows we own the clipboard, so a press that follows reads it.
    static void setClipboard(const QString& text, QMimeData* data = nullptr) {
        if (data) QGuiApplication::clipboard()->setMimeData(data);
        else QGuiApplication::clipboard()->setText(text);
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

}  // namespace quillberry::e2e
