#include "Desktops.h"

#include <wayland-client.h>
#include <QClipboard>
#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QUrl>
#include <array>
#include <csignal>
#include <iostream>
#include <map>
#include <optional>

#include "config/Constants.h"
#include "fake-input-client-protocol.h"

namespace quillberry::testing {

namespace {
const QString BUNDLE = QString::fromUtf8(BUNDLE_ID);
const QString APP = QString::fromUtf8(APP_ID);

// The evdev codes of the keys the tests press.
std::vector<uint> evdev(const QString& name) {
    static const std::map<QString, std::vector<uint>> CODES = {
        {"Return", {28}},     {"c", {46}},          {"Tab", {15}},      {"Shift_L", {42}},
        {"ctrl+a", {29, 30}}, {"ctrl+u", {29, 22}}, {"alt+a", {56, 30}}};
    return CODES.at(name);
}

// A program this test did not start, stopped by its PID (never 0: the test's own process group).
void terminate(qint64 pid) {
    ASSERT_GT(pid, 0) << "no such program";
    ::kill(pid_t(pid), SIGTERM);
}

// A chord as `send` sends its keys: pressed in order, released in reverse.
void chord(const std::vector<uint>& codes, const std::function<void(uint code, bool pressed)>& send) {
    for (uint code : codes) send(code, true);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code) send(*code, false);
}

QDBusMessage call(const QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, 10000);
}
}  // namespace

Desktop::~Desktop() {
    app.reset();
    editor_.reset();
    if (bus_.isConnected()) QDBusConnection::disconnectFromBus(bus_.name());
    while (!session_.empty()) session_.pop_back();
}

QString Desktop::socket(const QString& pattern) {
    QStringList found;  // sockets only, not their lock files
    EXPECT_TRUE(waitFor([&] { return !(found = QDir(user.runtime()).entryList({pattern}, QDir::System)).isEmpty(); }))
        << pattern.toStdString() << " never came: " << session_.front()->readAll().toStdString();
    return found.value(0);
}

void Desktop::startBus(const QStringList& services) {
    user.startBus(services);
    bus_ = QDBusConnection::connectToBus(user.busAddress(), user.runtime());
}

bool Desktop::iconInTray() {
    const QDBusMessage reply =
        call(bus_, "org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher", "org.freedesktop.DBus.Properties", "Get",
             {"org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems"});
    return !qdbus_cast<QStringList>(reply.arguments().value(0).value<QDBusVariant>().variant()).isEmpty();
}

void Desktop::quitFromTrayMenu() {
    auto gdbus = [&](const QString& service, const QString& path, const QString& method, const QStringList& args) {
        return QString(user.run("gdbus", QStringList{"call", "--session", "--dest", service, "--object-path", path,
                                                     "--method", method, "--"} +
                                             args));
    };
    const QString get = "org.freedesktop.DBus.Properties.Get", watcher = "org.kde.StatusNotifierWatcher";
    const QString item = gdbus(watcher, "/StatusNotifierWatcher", get, {watcher, "RegisteredStatusNotifierItems"})
                             .section('\'', 1, 1);  // a name, or with its path ("name/path", "name@/path")
    const QString service = item.section(QRegularExpression("[@/]"), 0, 0);
    const QString path = item.contains('/') ? item.mid(item.indexOf('/')) : "/StatusNotifierItem";
    const QString menu = gdbus(service, path, get, {"org.kde.StatusNotifierItem", "Menu"}).section('\'', 1, 1);
    const QString layout = gdbus(service, menu, "com.canonical.dbusmenu.GetLayout", {"0", "-1", "[]"});
    const QString quit = QRegularExpression("\\((\\d+), \\{[^}]*'label': <'Quitter'>").match(layout).captured(1);
    ASSERT_FALSE(quit.isEmpty()) << "no \"Quitter\" in the menu: " << layout.toStdString();
    gdbus(service, menu, "com.canonical.dbusmenu.Event", {quit, "clicked", "<0>", "0"});
}

Child* Desktop::restart(Child* piece, const std::function<void()>& meanwhile) {
    QStringList command = QStringList{piece->program()} + piece->arguments();
    if (command[0] == "setpriv") command = command.mid(command.indexOf("--") + 1);  // as the user, again
    auto running = std::find_if(session_.begin(), session_.end(), [&](auto& child) { return child.get() == piece; });
    running->reset();  // stopped by its PID
    if (meanwhile) meanwhile();
    *running = user.start(command[0], command.mid(1));
    return running->get();
}

void Desktop::startEditor() {
    user.install(QCoreApplication::applicationFilePath(), "bin/" + EDITOR);
    editor_ = user.start(user.path("bin/" + EDITOR), {"--editor"});
    EVENTUALLY(focused() == EDITOR) << focused().toStdString() << " has it";
}

QString Desktop::tellEditor(const QString& command, const QString& text) {
    editor_->write((command + " " + QUrl::toPercentEncoding(text) + "\n").toUtf8());
    QByteArray line;
    auto answered = [&] {
        while (editor_->canReadLine()) {
            if ((line = editor_->readLine()).startsWith("= ")) return true;
        }
        return false;
    };
    // A copy waits for a key in the editor, as Ctrl+C would: Wayland takes a clipboard only from
    // a program that has just had an input event. (Some desktops' test input loses a key.)
    EXPECT_TRUE(waitFor([&] { return command == "paste" ? answered() : (key("c"), waitFor(answered, 1000)); }))
        << "the editor did not " << command.toStdString();
    return QUrl::fromPercentEncoding(line.mid(2).trimmed());
}

void Desktop::startApp(const QString& build) {
    for (const char* file : {"quillberry", "libquillberry-app.so", "resources/menubar_icon.png"}) {
        user.install(QFileInfo(build).dir().filePath(file), QString("bin/") + file);
    }
    // Its desktop entry, which newer portals look up for the app id it registers.
    user.install(QUILLBERRY_DESKTOP_ENTRY, ".local/share/applications/" + APP + ".desktop");
    app = user.start(user.path("bin/quillberry"));
    // Up once its trigger socket takes connections (a killed instance's may still be there).
    QLocalSocket probe;
    EVENTUALLY((probe.connectToServer(user.runtime() + "/" + BUNDLE + ".trigger"), probe.waitForConnected(100)));
}

void Desktop::pressUntil(const std::function<bool()>& done) { EVENTUALLY((pressShortcut(), waitFor(done, 1500))); }

void Desktop::closeNotice() {
    EVENTUALLY(focused() == appId);
    key("Return");
    EVENTUALLY(focused() == EDITOR);
}

void Desktop::closeLaunchNotices(int notices, bool confirm) {
    while (notices > 0 || confirm) {
        QString at;
        EVENTUALLY((at = focused()) == appId || (confirm && at == confirmation));
        if (at == appId) {
            key("Return"), --notices;
            EVENTUALLY(focused() != at);
        } else {  // (Plasma's dialog has the focus a moment before it takes keys: pressed again)
            EVENTUALLY((key(confirmKey), waitFor([&] { return focused() != at; }, 1500)));
            confirm = false;
        }
    }
    EVENTUALLY(focused() == EDITOR);
}

int packageVersion(const QString& package) {
    const QString version = QString(run("dpkg-query", {"-W", "-f", "${Version}", package})).section(':', -1);
    return version.section('.', 0, 0).toInt() * 100 + version.section('.', 1, 1).section('-', 0, 0).toInt();
}

QStringList x11Windows(const User& user, const QString& kind) {
    return QString(user.run(user.path("bin/xsession.sh"), {"windows", kind})).split('\n', Qt::SkipEmptyParts);
}

void Desktop::screenshot() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const QString kept =
        QUILLBERRY_SHOTS "/" + QString("%1.%2.png").arg(test->test_suite_name(), test->name()).replace('/', '-');
    capture(user.path("screen.png"));
    QDir().mkpath(QUILLBERRY_SHOTS);
    QFile::remove(kept);
    QFile::copy(user.path("screen.png"), kept);
}

namespace {
// The editor's window: what the test asked it to copy or select goes to the clipboard at the
// next key press, the input event a Wayland compositor asks of a program that sets it.
struct Editor : QRasterWindow {
    std::optional<std::pair<QString, QClipboard::Mode>> pending;
    void keyPressEvent(QKeyEvent*) override {
        if (!pending) return;
        QGuiApplication::clipboard()->setText(pending->first, pending->second);
        pending.reset();
        std::cout << "= " << std::endl;
    }
};

int runEditor(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    QGuiApplication::setDesktopFileName(EDITOR);
    Editor window;
    window.setTitle(EDITOR);
    window.resize(400, 300);
    window.show();
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&window] {
        std::string line;
        if (!std::getline(std::cin, line)) return QCoreApplication::quit();
        const QString command = QString::fromStdString(line).section(' ', 0, 0);
        const QString text = QUrl::fromPercentEncoding(QByteArray::fromStdString(line).mid(command.size() + 1));
        if (command != "paste")
            return void(window.pending = {text, command == "copy" ? QClipboard::Clipboard : QClipboard::Selection});
        std::cout << "= " << QUrl::toPercentEncoding(QGuiApplication::clipboard()->text()).toStdString() << std::endl;
    });
    return QGuiApplication::exec();
}

// Keys into KWin through its fake-input protocol, from a program of the user's (KWin tells
// programs apart by their executable, which it cannot read for one of root's), as a
// remote-control program sends them: a line a key, by the name the tests give it.
int runKeys(const char* socket) {
    wl_display* display = wl_display_connect(socket);
    if (!display) return 1;
    org_kde_kwin_fake_input* input = nullptr;
    static const wl_registry_listener listener{
        [](void* found, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
            if (std::string_view(interface) != org_kde_kwin_fake_input_interface.name || version < 4) return;
            *static_cast<org_kde_kwin_fake_input**>(found) = static_cast<org_kde_kwin_fake_input*>(
                wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_registry_add_listener(wl_display_get_registry(display), &listener, &input);
    wl_display_roundtrip(display);
    if (!input) return 1;
    org_kde_kwin_fake_input_authenticate(input, "quillberry tests", "keys of the tests");
    for (std::string line; std::getline(std::cin, line);) {
        chord(evdev(QString::fromStdString(line)),
              [input](uint code, bool pressed) { org_kde_kwin_fake_input_keyboard_key(input, code, pressed); });
        if (wl_display_roundtrip(display) < 0) return 1;
        std::cout << "= " << std::endl;
    }
    return 0;
}

// ---------------------------------------------------------------- X11
class X11 : public Desktop {
public:
    ~X11() override {
        app.reset(), editor_.reset();
        user.run(user.path("bin/xsession.sh"), {"stop", user.path(".x")});
    }
    void start() override {
        appId = "Quillberry";  // the window class
        user.install(QUILLBERRY_SOURCE_DIR "/scripts/lib/xsession.sh", "bin/xsession.sh");
        const QByteArray said = user.run(user.path("bin/xsession.sh"), {"start", user.path(".x")});
        ASSERT_TRUE(QFile::exists(user.path(".x/bus-address"))) << said.toStdString();
        user.set("QT_QPA_PLATFORM=xcb XDG_SESSION_TYPE=x11 DISPLAY=" + run("cat", {user.path(".x/display")}).trimmed() +
                 " DBUS_SESSION_BUS_ADDRESS=" + run("cat", {user.path(".x/bus-address")}).trimmed());
        startEditor();
    }
    QString focused() override {
        const QString window = user.run("xdotool", {"getwindowfocus"}).trimmed();
        return QString(user.run("xprop", {"-id", window, "WM_CLASS"})).section('"', 3, 3);
    }
    bool iconInTray() override { return !x11Windows(user, "icon").empty(); }
    void quitFromTrayMenu() override {
        user.run("xdotool", {"mousemove", "--window", x11Windows(user, "icon").value(0), "8", "8", "click", "1"});
        EVENTUALLY(x11Windows(user, "popup").size() == 1);
        key("ctrl+q");  // "Quitter"'s key, while the tray menu is open
    }
    // The window manager holds the tray: killed, it lets go of the tray's selection, and a new one
    // takes it again.
    void restartTrayHost(const std::function<void()>& meanwhile) override {
        auto tray = [&] { return user.run("xdotool", {"search", "--name", "^SystemTray$"}).trimmed(); };
        auto away = [&] {
            EVENTUALLY(tray().isEmpty());
            if (meanwhile) meanwhile();
        };
        if (wm_) {
            wm_ = restart(wm_, away);
        } else {  // the session's first, which its script started
            QFile pids(user.path(".x/pids"));
            ASSERT_TRUE(pids.open(QIODevice::ReadOnly));
            terminate(pids.readAll().split('\n').value(1).toInt());
            away();
            wm_ = launch("icewm");
        }
        EVENTUALLY(!tray().isEmpty());
    }

protected:
    void key(const QString& name) override { user.run("xdotool", {"key", name}); }
    void capture(const QString& file) override { user.run("import", {"-window", "root", file}); }

private:
    Child* wm_ = nullptr;  // once the test started one
};

// ---------------------------------------------------------------- sway
class Sway : public Desktop {
public:
    void start() override {
        startBus(QStringList());  // no portal: sway has none unless one is added
        user.set(
            "WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman XDG_SESSION_TYPE=wayland "
            "QT_QPA_PLATFORM=wayland XDG_CURRENT_DESKTOP=sway");
        user.install(QUILLBERRY_SOURCE_DIR "/tests/support/sway.config", ".config/sway/config");
        launch("sway");
        user.set("WAYLAND_DISPLAY=" + socket("wayland-*") + " SWAYSOCK=" + user.runtime() + "/" + socket("sway-ipc.*"));
        // A headless seat has a keyboard only while a virtual one exists: one for the whole
        // session, so no window sees a key's release without its press.
        launch("wtype", {"-s", "3600000"});
        // swaybar's tray up before the app, as a session's panel is before its autostarted programs.
        EVENTUALLY(registered("org.kde.StatusNotifierWatcher"));
        startEditor();
    }
    QString focused() override {
        return user.run("sh", {"-c", "swaymsg -t get_tree | jq -r '.. | select(.focused? == true) | .app_id'"})
            .trimmed();
    }

protected:
    void key(const QString& name) override {
        user.run("wtype", name.startsWith("ctrl+") ? QStringList{"-M", "ctrl", "-k", name.mid(5), "-m", "ctrl"}
                                                   : QStringList{"-k", name});
    }
    void capture(const QString& file) override { user.run("grim", {file}); }
    // The bar holds the tray's registry: killed, and started again by sway as a reload of its
    // configuration does.
    void restartTrayHost(const std::function<void()>& meanwhile) override {
        terminate(bus_.interface()->servicePid("org.kde.StatusNotifierWatcher").value());  // this session's bar
        EVENTUALLY(!registered("org.kde.StatusNotifierWatcher"));
        if (meanwhile) meanwhile();
        user.run("swaymsg", {"reload"});
        EVENTUALLY(registered("org.kde.StatusNotifierWatcher"));
    }
};

// ---------------------------------------------------------------- KWin
class KWin : public Desktop {
public:
    KWin() { confirmation = "org.freedesktop.impl.portal.desktop.kde", confirmKey = "Return"; }
    void start() override {
        startBus(QStringList{"org.freedesktop.impl.portal.PermissionStore"});
        // Keys from a test's program, which KWin otherwise keeps to programs of its choosing.
        user.set(
            "XDG_CURRENT_DESKTOP=KDE KWIN_COMPOSE=Q XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland "
            "KWIN_WAYLAND_NO_PERMISSION_CHECKS=1");
        // The packaged binary carries file capabilities, which a container cannot grant; KWin
        // checks its own name.
        user.install("/usr/bin/kwin_wayland", "bin/kwin_wayland");
        // The portals of a Plasma session, as plasma-workspace ships their choice.
        user.write(".config/xdg-desktop-portal/kde-portals.conf", "[preferred]\ndefault=kde\n");
        launch(user.path("bin/kwin_wayland"), {"--virtual", "--no-lockscreen", "--socket", "wayland-kwin"});
        user.set("WAYLAND_DISPLAY=" + socket("wayland-kwin"));
        user.install(QCoreApplication::applicationFilePath(), "bin/quillberry-test-keys");
        keys_ = user.start(user.path("bin/quillberry-test-keys"), {"--keys", user.runtime() + "/wayland-kwin"});
        key("Tab");  // the seat has a keyboard from the first key
        // A tray host's registry, as plasmashell's would be.
        user.install(QUILLBERRY_SOURCE_DIR "/tests/support/status_notifier_watcher.py",
                     "bin/status_notifier_watcher.py");
        watcher_ = launch("python3", {"-m", "dbusmock", "--template", user.path("bin/status_notifier_watcher.py")});
        EVENTUALLY(registered("org.kde.StatusNotifierWatcher"));
        portal_ = {launch("/usr/lib/" MULTIARCH "/libexec/xdg-desktop-portal-kde")};
        EVENTUALLY(registered("org.freedesktop.impl.portal.desktop.kde"));
        portal_[1] = launch("/usr/libexec/xdg-desktop-portal");
        EVENTUALLY(registered("org.freedesktop.portal.Desktop"));
        startEditor();
    }
    void restartTrayHost(const std::function<void()>& meanwhile) override {
        watcher_ = restart(watcher_, [&] {
            EVENTUALLY(!registered("org.kde.StatusNotifierWatcher"));
            if (meanwhile) meanwhile();
        });
        EVENTUALLY(registered("org.kde.StatusNotifierWatcher"));
    }
    // The back end first: the front end offers what the back ends it finds at its start offer.
    void restartPortal() override {
        portal_[0] = restart(portal_[0]);
        EVENTUALLY(registered("org.freedesktop.impl.portal.desktop.kde"));
        portal_[1] = restart(portal_[1]);
        EVENTUALLY(registered("org.freedesktop.portal.Desktop"));
    }
    // The active window's class, as a script run inside KWin (5's scripting or 6's) prints it.
    QString focused() override {
        const QString name = QString("s%1").arg(++scripts_), scripting = "org.kde.kwin.Scripting";
        user.write(name + ".js", "var w = workspace.activeWindow || workspace.activeClient; print('" + name.toUtf8() +
                                     "=' + (w ? w.resourceClass : ''));");
        call(bus_, "org.kde.KWin", "/Scripting", scripting, "loadScript", {user.path(name + ".js"), name});
        call(bus_, "org.kde.KWin", "/Scripting", scripting, "start");
        QRegularExpressionMatch printed;
        waitFor([&] {
            output_ += session_.front()->readAll();
            return (printed = QRegularExpression(name + "=(.*)\n").match(output_)).hasMatch();
        });
        call(bus_, "org.kde.KWin", "/Scripting", scripting, "unloadScript", {name});
        return printed.captured(1);
    }
    void key(const QString& name) override {
        keys_->write((name + "\n").toUtf8());
        EXPECT_TRUE(waitFor([&] { return keys_->canReadLine() && keys_->readLine().startsWith("= "); }))
            << "no fake input: " << keys_->readAll().toStdString();
    }

private:
    std::unique_ptr<Child> keys_;
    Child* watcher_ = nullptr;
    std::array<Child*, 2> portal_{};
    QByteArray output_;
    int scripts_ = 0;
};

// ---------------------------------------------------------------- GNOME
class Gnome : public Desktop {
public:
    // From GNOME 48 on, the portal's global shortcut, after GNOME Settings' confirmation;
    // before, the user's custom shortcut, run by GNOME's shortcut daemon.
    const bool portal = packageVersion("gnome-shell") >= 4800;

    Gnome() { confirmation = "org.gnome.Settings.GlobalShortcutsProvider", confirmKey = "alt+a"; }
    void start() override {
        startBus(portal ? QStringList{"ca.desrt.dconf", "org.freedesktop.portal.Desktop",
                                      "org.freedesktop.impl.portal.desktop.gnome",
                                      "org.freedesktop.impl.portal.PermissionStore",
                                      "org.gnome.Settings.GlobalShortcutsProvider"}
                        : QStringList{"ca.desrt.dconf"});
        // gnome-shell asks logind on the system bus: a private one with a stand-in.
        const QString system = "unix:path=" + user.runtime() + "/system_bus";
        user.set("XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland DBUS_SYSTEM_BUS_ADDRESS=" +
                 system);
        launch("dbus-daemon", {"--config-file=/usr/share/dbus-1/session.conf", "--address=" + system, "--nofork"});
        launch("python3", {"-m", "dbusmock", "--system", "--template", "logind"});
        EVENTUALLY(user.run("gdbus", {"call", "--system", "--dest", "org.freedesktop.DBus", "--object-path",
                                      "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.NameHasOwner",
                                      "org.freedesktop.login1"})
                       .contains("true"));
        configure();
        launch("gnome-shell",
               {"--headless", "--virtual-monitor", "1280x800", "--wayland-display", "wayland-gnome", "--no-x11"});
        user.set("WAYLAND_DISPLAY=" + socket("wayland-gnome"));
        // The services the bus starts on demand (the portal) find the display, as in a session.
        user.run("dbus-update-activation-environment", {"WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE"});
        // (A loaded machine takes GNOME Shell a while to start.)
        ASSERT_TRUE(waitFor([&] { return eval("Main.layoutManager._startingUp") == "false"; }, 60000)) << "no shell";
        eval("Main.overview.hide()");
        // The daemon that runs the user's custom shortcuts, as the session starts it.
        if (!portal) launch("/usr/libexec/gsd-media-keys");
        // Keys as a remote desktop client sends them; the seat has a keyboard from the first one.
        const QDBusReply<QDBusObjectPath> session =
            call(bus_, "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
                 "org.gnome.Mutter.RemoteDesktop", "CreateSession");
        remote_ = session.value().path();
        ASSERT_FALSE(remote_.isEmpty()) << "no remote desktop session";
        remoteCall("Start");
        key("Shift_L");
        startEditor();
    }
    QString focused() override {
        return eval("global.display.focus_window ? global.display.focus_window.get_wm_class() : ''");
    }
    // The tray's registry lives in the shell, in the AppIndicator extension, which cannot be killed
    // alone: the extension turned off and on again, as when it is updated.
    void restartTrayHost(const std::function<void()>& meanwhile) override {
        for (const char* turn : {"disable", "enable"}) {
            eval(QString("Main.extensionManager.%1Extension('ubuntu-appindicators@ubuntu.com')").arg(turn));
            EVENTUALLY(registered("org.kde.StatusNotifierWatcher") == (turn[0] == 'e'));
            if (turn[0] == 'd' && meanwhile) meanwhile();
        }
    }
    // The back end, then the portal, which the bus started on demand, killed by PID: the bus starts
    // them again at the next call (the app's, as soon as the portal has gone).
    void restartPortal() override {
        for (const char* name : {"org.freedesktop.impl.portal.desktop.gnome", "org.freedesktop.portal.Desktop"}) {
            const uint pid = bus_.interface()->servicePid(name).value();
            terminate(pid);
            EVENTUALLY(bus_.interface()->servicePid(name).value() != pid);
        }
    }

protected:
    void key(const QString& name) override {
        chord(evdev(name), [this](uint code, bool pressed) { remoteCall("NotifyKeyboardKeycode", {code, pressed}); });
    }
    void capture(const QString& file) override {
        call(bus_, "org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot",
             "Screenshot", {false, false, file});
    }

private:
    // As GNOME Settings writes them: the extensions the user enabled (with one that lets the test
    // evaluate code in the shell, never installed), and before the portal, the custom shortcut.
    void configure() {
        const QString from = QUILLBERRY_SOURCE_DIR "/tests/support/gnome/";
        const QString folder = ".local/share/gnome-shell/extensions/unsafe-mode@tests.quillberry.app/";
        const bool modules = user.run("gnome-shell", {"--version"}).split(' ').value(2).split('.')[0].toInt() >= 45;
        user.install(from + "metadata.json", folder + "metadata.json");
        user.install(from + (modules ? "extension.js" : "extension-legacy.js"), folder + "extension.js");
        for (const QString settings : {"settings.ini", portal ? "" : "custom-shortcut.ini"}) {
            if (!settings.isEmpty()) user.run("sh", {"-c", "dconf load / < '" + from + settings + "'"});
        }
        // The portals of a GNOME session, as gnome-session ships their choice.
        user.write(".config/xdg-desktop-portal/gnome-portals.conf", "[preferred]\ndefault=gnome;gtk;\n");
    }
    // The value of `code` in the shell, as JSON (strings in quotes, which no value here holds).
    QString eval(const QString& code) {
        const QVariantList values =
            call(bus_, "org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval", {code}).arguments();
        return values.size() == 2 && values[0].toBool() ? values[1].toString().remove('"') : "(failed)";
    }
    void remoteCall(const QString& method, const QVariantList& args = {}) {
        call(bus_, "org.gnome.Mutter.RemoteDesktop", remote_, "org.gnome.Mutter.RemoteDesktop.Session", method, args);
    }
    QString remote_;
};

}  // namespace

int runHelper(int argc, char** argv) {
    if (argc == 2 && std::string_view(argv[1]) == "--editor") return runEditor(argc, argv);
    if (argc == 3 && std::string_view(argv[1]) == "--keys") return runKeys(argv[2]);
    return -1;
}

std::unique_ptr<Desktop> makeX11() { return std::make_unique<X11>(); }
std::unique_ptr<Desktop> makeSway() { return std::make_unique<Sway>(); }
std::unique_ptr<Desktop> makeKWin() { return std::make_unique<KWin>(); }
std::unique_ptr<Desktop> makeGnome() { return std::make_unique<Gnome>(); }

}  // namespace quillberry::testing
