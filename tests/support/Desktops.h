#pragma once
// Desktop sessions of a new user, each as the app meets it on a real machine, headless: an X
// server with a window manager that hosts tray icons, sway, KWin with the desktop portal, and
// GNOME Shell with its shortcut daemon. Each has a focused window of the test's own (the
// user's editor) and does what the user does the way that desktop does it: copying and
// selecting in the editor, pressing the shortcut, closing a notice, pasting.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "Processes.h"
#include "config/Constants.h"

namespace quillberry::testing {

// The id of the test's own window, the user's editor, on every desktop.
inline const QString EDITOR = "quillberry-test-editor";

class Desktop {
public:
    virtual ~Desktop();
    User user;
    // How the app's windows are named here (X11: their class; Wayland: the app id).
    QString appId = QString::fromUtf8(APP_ID);
    // The desktop's own dialog that asks the user to confirm the app's shortcut, on the releases
    // that ask: its window's id, and the key that confirms it.
    QString confirmation, confirmKey;

    // The session, then the editor with the focus.
    virtual void start() = 0;
    // The launcher of `build`, the app's library beside it and its icon, copied to the user's bin
    // folder, where the user can run them whatever the build tree's permissions; the app started
    // from there, up once its trigger socket listens.
    void startApp(const QString& build);
    std::unique_ptr<Child> app;

    virtual QString focused() = 0;  // the id of the window that has the focus
    // Ctrl+U, which the app's grab or the desktop's binding (through the portal, the
    // compositor's) takes wherever the focus is.
    virtual void pressShortcut() { key("ctrl+u"); }
    // A key as this desktop's test input sends it: an X keysym name, after "ctrl+" for a chord.
    virtual void key(const QString& name) = 0;
    // The shortcut pressed until `done`: some desktops' test input loses a key now and then.
    void pressUntil(const std::function<bool()>& done);
    // The notice that has the focus, closed as a user does; the focus back in the editor.
    void closeNotice();
    // The app's `notices` at launch and, where `confirm`, the desktop's confirmation of its
    // shortcut, closed in whatever order they come; the focus back in the editor.
    void closeLaunchNotices(int notices, bool confirm);
    // In the editor, or by another program where the editor cannot.
    virtual void copy(const QString& text) { tellEditor("copy", text); }
    // The screen, kept in the build's screenshots folder under the current case's name.
    void screenshot();
    virtual void select(const QString& text) { tellEditor("select", text); }
    virtual QString paste() { return tellEditor("paste"); }
    // Whether a tray shows the app's icon (on Wayland: the desktop's tray registry lists it).
    virtual bool iconInTray();
    // "Quitter" chosen in the app's tray menu, as the tray shows it (on Wayland: the menu the app
    // exports to the tray over D-Bus, read and clicked as a tray host does).
    virtual void quitFromTrayMenu();
    // The tray host, or the desktop portal and its back end, killed by PID and started again, as
    // after a crash or a package upgrade; back once they answer. `meanwhile` runs while the tray
    // host is away.
    virtual void restartTrayHost(const std::function<void()>& meanwhile = {}) = 0;
    virtual void restartPortal() {}

protected:
    virtual void capture(const QString&) {}  // the screen as a PNG file of the user's
    // The editor, run as the user in this session, once the session is up.
    void startEditor();
    QString tellEditor(const QString& command, const QString& text = {});
    QString socket(const QString& pattern);  // in the runtime folder, once the session made it
    void startBus(const QStringList& services);
    // A program of the session's, which goes with it.
    Child* launch(const QString& program, const QStringList& args = {}) {
        return session_.emplace_back(user.start(program, args)).get();
    }
    // One of the session's programs, stopped, then `meanwhile`, and started again.
    Child* restart(Child* piece, const std::function<void()>& meanwhile = {});
    bool registered(const QString& name) { return bus_.interface()->isServiceRegistered(name).value(); }
    std::vector<std::unique_ptr<Child>> session_;  // stopped last, in reverse order
    std::unique_ptr<Child> editor_;
    QDBusConnection bus_{""};  // the user's session bus, for this process
};

// The programs of the user's that a desktop runs for the test, as modes of the test's own
// program: the editor, a window that takes the focus and answers "copy", "select" and "paste"
// lines on its standard input (`--editor`), and KWin's key sender (`--keys SOCKET`). The exit
// status, or -1 when the arguments ask for neither.
int runHelper(int argc, char** argv);

// The installed version of a Debian package as major * 100 + minor (6.3.6 is 603); 0 when absent.
int packageVersion(const QString& package);

// The desktops, each a new user's session as that desktop's own tools start it.
std::unique_ptr<Desktop> makeX11();  // Xvfb with icewm, a window manager with a tray
// The app's visible windows on an X11 desktop of one kind: "managed" by the window manager
// (notices, windows), "icon" in the tray, or "popup" (menus).
QStringList x11Windows(const User& user, const QString& kind);
std::unique_ptr<Desktop> makeSway();   // headless sway with swaybar, Ctrl+U bound to `quillberry --trigger`
std::unique_ptr<Desktop> makeKWin();   // headless KWin with the desktop portal
std::unique_ptr<Desktop> makeGnome();  // headless GNOME Shell, AppIndicator, a custom shortcut

}  // namespace quillberry::testing
