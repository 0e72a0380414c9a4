// The built app as a native Wayland client of a headless compositor, with no focus of its
// own: the clipboard and the selection are set and read with wl-copy and wl-paste.
// - sway: the shortcut is a sway binding that runs `quillberry --trigger`, keys come from
//   wtype, and a window of this test's own has the focus, as the user's editor would;
// - KWin: the shortcut is bound through the desktop portal and fired through KWin's
//   shortcut service, as a key press would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "Processes.h"
#include "ServiceStub.h"
#include "config/Constants.h"
#include "platform/wayland/GlobalShortcut.h"

namespace quillberry::wayland_test {
namespace {
using testing::Child;
using testing::waitFor;

const QString APP_ID = QString::fromUtf8(BUNDLE_ID.data(), qsizetype(BUNDLE_ID.size()));
const QString EDITOR_ID = "quillberry-test-editor";

// sway refuses to run as root: then the desktop, its bus and the app run as nobody.
std::unique_ptr<Child> startAsUser(const QString& program, const QStringList& args) {
    if (::getuid() != 0) return std::make_unique<Child>(program, args);
    return std::make_unique<Child>("setpriv",
                                   QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args);
}
// The address a session bus prints (among its warnings); empty when it printed none.
QByteArray busAddress(Child& bus) {
    QByteArray line;
    waitFor([&] {
        while (bus.canReadLine()) {
            if ((line = bus.readLine().trimmed()).startsWith("unix:")) return true;
        }
        return false;
    });
    return line.startsWith("unix:") ? line : QByteArray();
}
QString runAsUser(const QString& program, const QStringList& args) {
    auto child = startAsUser(program, args);
    child->waitExit();
    return child->readAll();
}

// A new user on a new desktop for each case: own home, runtime folder and session bus.
struct Desktop : ::testing::Test, testing::ServiceStub {
    QTemporaryDir home;
    std::unique_ptr<Child> bus, compositor, editor, app;
    std::vector<std::unique_ptr<Child>> portals;
    QString appBuild = QUILLBERRY_APP;

    QString config(const QString& suffix) { return testing::appFile(home.path(), suffix); }
    QString bin(const QString& name) { return home.filePath("bin/" + name); }
    // A desktop of the user's and its environment, waiting for its display socket.
    void startDesktop(
        const QString& binary, const QStringList& args, std::function<void()> owned = [] {}) {
        ASSERT_TRUE(QDir(home.path()).mkpath("runtime") && QDir(home.path()).mkpath("bin/resources"));
        // A copy that nobody can run wherever the build tree is (a root-only home, say).
        ASSERT_TRUE(QFile::copy(appBuild, bin("quillberry")) &&
                    QFile::copy(QFileInfo(QUILLBERRY_APP).dir().filePath("resources/menubar_icon.png"),
                                bin("resources/menubar_icon.png")));
        testing::writeSettings(home.path(), "me@example.com");
        owned();
        if (::getuid() == 0) {
            ASSERT_EQ(testing::run("chown", {"-R", "65534:65534", home.path()}), "");
        }
        QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (auto [name, value] : {std::pair{"HOME", home.path()},
                                   {"XDG_RUNTIME_DIR", home.filePath("runtime")},
                                   {"XDG_SESSION_TYPE", "wayland"},
                                   {"QT_QPA_PLATFORM", "wayland"}}) {
            qputenv(name, value.toUtf8());
        }
        qunsetenv("DISPLAY"), qunsetenv("WAYLAND_DISPLAY"), qunsetenv("SWAYSOCK");
        bus = startAsUser("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        const QByteArray address = busAddress(*bus);
        ASSERT_FALSE(address.isEmpty()) << "no session bus";
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        compositor = startAsUser(binary, args);
        QDir runtime(home.filePath("runtime"));
        QStringList sockets;
        ASSERT_TRUE(waitFor([&] {
            return (sockets =
                        runtime.entryList({"wayland-*"}, QDir::System).filter(QRegularExpression("^wayland-[^.]+$")))
                       .size() == 1;
        })) << "the compositor did not start: "
            << compositor->readAll().toStdString();
        qputenv("WAYLAND_DISPLAY", sockets[0].toUtf8());
    }
    void TearDown() override { app.reset(), editor.reset(), portals.clear(), compositor.reset(), bus.reset(); }
    // A window of a Wayland program of the test's own, which has the focus as the user's editor would.
    void startEditor(const std::function<QString()>& focused) {
        editor = std::make_unique<Child>(QCoreApplication::applicationFilePath(), QStringList{"--editor"});
        ASSERT_TRUE(waitFor([&] { return focused() == EDITOR_ID; })) << "the editor window never had the focus";
    }
    void startApp() {
        app = startAsUser(bin("quillberry"), {});
        ASSERT_TRUE(waitFor([&] { return QFile::exists(home.filePath("runtime/" + APP_ID + ".trigger")); }));
    }
    static QString paste(const QStringList& which = {}) {
        return testing::run("wl-paste", QStringList{"--no-newline"} + which);
    }
};

struct Sway : Desktop {
    void SetUp() override {
        qputenv("WLR_BACKENDS", "headless"), qputenv("WLR_LIBINPUT_NO_DEVICES", "1"), qputenv("WLR_RENDERER", "pixman");
        startDesktop("sway", {"-c", home.filePath("sway.conf")}, [&] {
            QFile sway(home.filePath("sway.conf"));
            ASSERT_TRUE(sway.open(QIODevice::WriteOnly));
            sway.write(("xwayland disable\nbindsym Ctrl+u exec " + bin("quillberry") + " --trigger\n").toUtf8());
        });
        QDir runtime(home.filePath("runtime"));
        ASSERT_TRUE(waitFor([&] { return !runtime.entryList({"sway-ipc.*"}, QDir::System).empty(); }));
        qputenv("SWAYSOCK", runtime.filePath(runtime.entryList({"sway-ipc.*"}, QDir::System)[0]).toUtf8());
        startEditor([] { return focused(); });
    }
    void TearDown() override {
        if (HasFailure())
            testing::run("grim", {QString(QUILLBERRY_SHOTS) + "/FAIL-sway-" +
                                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".png"});
        Desktop::TearDown();
    }

    // The app ids of sway's windows, the focused one first.
    static QStringList windows() {
        QStringList ids;
        std::function<void(const QJsonObject&)> visit = [&](const QJsonObject& node) {
            const QString id = node["app_id"].toString();
            if (!id.isEmpty()) node["focused"].toBool() ? ids.prepend(id) : ids.append(id);
            for (const char* children : {"nodes", "floating_nodes"}) {
                for (const QJsonValue& child : node[children].toArray()) visit(child.toObject());
            }
        };
        visit(QJsonDocument::fromJson(testing::run("swaymsg", {"-r", "-t", "get_tree"})).object());
        return ids;
    }
    static QString focused() { return windows().value(0); }
    // wtype sometimes loses a key: a press is repeated until what it should cause happens.
    // Its keyboard goes when it ends, and Ctrl may stay down for the window that had the
    // focus then: a Return also releases Ctrl (Qt's dialogs ignore Ctrl+Return).
    static bool pressUntil(const QStringList& keys, const std::function<bool()>& done) {
        return waitFor([&] { return testing::run("wtype", keys), waitFor(done, 1000); });
    }
    static void answerNotice() {
        ASSERT_TRUE(waitFor([] { return focused() == APP_ID; })) << "no notice has the focus";
        ASSERT_TRUE(pressUntil({"-m", "ctrl", "-k", "Return"}, [] { return focused() == EDITOR_ID; }))
            << "the notice did not close: " << windows().join(",").toStdString();
    }
    void improve(const QString& expected) {
        listenAsService();
        ASSERT_TRUE(pressUntil({"-M", "ctrl", "u", "-m", "ctrl"}, [&] { return stub.hasPendingConnections(); }));
        serveNext(expected.toUtf8(), "Prompt amélioré");
        ASSERT_TRUE(waitFor([] { return focused() == APP_ID; })) << "no notice";
        EXPECT_EQ(paste(), "Prompt amélioré") << "while the notice shows";
        answerNotice();
        EXPECT_EQ(paste(), "Prompt amélioré") << "after it";
    }
};

// Automatic mode reads the selection, sets the clipboard and reads it back: each way through
// data-control.
TEST_F(Sway, TheBoundShortcutImprovesTheSelectionInAutomaticMode) {
    QFile automatic(config(".automatic-mode"));
    ASSERT_TRUE(automatic.open(QIODevice::WriteOnly));
    startApp();
    answerNotice();  // how to bind the shortcut
    answerNotice();  // no tray here: how to get the icon
    Child select("wl-copy", {"--foreground", "--primary", "Texte sélectionné"});
    ASSERT_TRUE(waitFor([] { return paste({"--primary"}) == "Texte sélectionné"; }));
    improve("Texte sélectionné");
    EXPECT_TRUE(QFile::exists(config(".trigger-used"))) << "the next launch would ask again";
}

// As on GNOME, which has no data-control: the text comes through a window of the app's own,
// which the focus lets read the clipboard, and the result is written at the press that
// closes its notice, the input event a clipboard write needs there.
struct SwayWithoutDataControl : Sway {
    void SetUp() override {
        appBuild = QUILLBERRY_APP_NO_DATA_CONTROL;
        Sway::SetUp();
    }
};

TEST_F(SwayWithoutDataControl, TheTextComesThroughTheAppsWindowAndTheResultWithTheNoticesClose) {
    QFile marker(config(".trigger-used"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    startApp();
    answerNotice();  // how the clipboard works here
    answerNotice();  // the tray's
    Child copy("wl-copy", {"--foreground", "Texte copié sous GNOME"});
    ASSERT_TRUE(waitFor([] { return paste() == "Texte copié sous GNOME"; }));
    listenAsService();
    ASSERT_TRUE(pressUntil({"-M", "ctrl", "u", "-m", "ctrl"}, [] { return focused() == APP_ID; })) << "no window";
    answerNotice();  // Return sends what the window read
    serveNext("Texte copié sous GNOME", "Prompt amélioré");
    answerNotice();
    EXPECT_EQ(paste(), "Prompt amélioré");
}

struct KWin : Desktop {
    static QString call(const QString& service, const QString& path, const QString& method,
                        const QStringList& args = {}) {
        return runAsUser(
            "gdbus",
            QStringList{"call", "--session", "--dest", service, "--object-path", path, "--method", method} + args);
    }
    static QString shortcut(const QString& method, const QStringList& args = {}) {
        return call("org.kde.kglobalaccel", "/component/quillberry", "org.kde.kglobalaccel.Component." + method, args);
    }
    // The app ids of KWin's windows, the active one marked with "+", as a script run inside
    // KWin prints them on its output.
    QByteArray output;
    QStringList windows() {
        static int runs = 0;
        const QString name = QString("list%1").arg(++runs), script = home.filePath(name + ".js");
        QFile file(script);
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(
            ("var ids = []; for (const c of workspace.clientList()) ids.push((c.active ? '+' : '') + c.resourceClass);"
             "print('" +
             name + "=' + ids.join(','));")
                .toUtf8());
        file.close();
        call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.loadScript", {script, name});
        call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.start");
        QStringList ids;
        waitFor([&] {
            output += compositor->readAll();
            const qsizetype at = output.indexOf(name.toUtf8() + "=");
            if (at < 0 || output.indexOf('\n', at) < 0) return false;
            ids = QString(output.mid(at, output.indexOf('\n', at) - at)).section('=', 1).split(',', Qt::SkipEmptyParts);
            return true;
        });
        call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting.unloadScript", {name});
        return ids;
    }
    void SetUp() override {
        qputenv("XDG_CURRENT_DESKTOP", "KDE"), qputenv("KWIN_COMPOSE", "Q");
        // The packaged binary carries file capabilities, which a container cannot grant; KWin
        // checks its own name.
        startDesktop(bin("kwin_wayland"), {"--virtual", "--no-lockscreen", "--socket", "wayland-kwin"},
                     [&] { ASSERT_TRUE(QFile::copy("/usr/bin/kwin_wayland", bin("kwin_wayland"))); });
        for (const char* portal :
             {"/usr/lib/" MULTIARCH "/libexec/xdg-desktop-portal-kde", "/usr/libexec/xdg-desktop-portal"}) {
            portals.push_back(startAsUser(portal, {}));
        }
        ASSERT_TRUE(waitFor([] {
            return call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                        {"org.freedesktop.portal.Desktop"})
                .contains("true");
        })) << "no portal";
        startEditor([&] { return windows().filter(QRegularExpression("^\\+")).value(0).mid(1); });
    }
};

TEST_F(KWin, ThePortalShortcutImprovesWhatAWaylandProgramCopied) {
    listenAsService();
    startApp();
    // Bound through the portal, the shortcut is KWin's to fire, under the app's session.
    ASSERT_TRUE(waitFor([] { return shortcut("shortcutNames").contains("improve"); }));
    Child copy("wl-copy", {"--foreground", "Texte copié sous KDE"});
    ASSERT_TRUE(waitFor([] { return paste() == "Texte copié sous KDE"; }));
    auto notices = [&] {
        return windows().filter(QRegularExpression("^\\+?" + QRegularExpression::escape(APP_ID) + "$")).size();
    };
    const auto before = notices();  // (a desktop without a tray says so after 5 s)
    shortcut("invokeShortcut", {"improve"});
    serveNext("Texte copié sous KDE", "Prompt amélioré");
    EXPECT_TRUE(waitFor([&] { return notices() == before + 1; })) << "no notice";
    EXPECT_EQ(paste(), "Prompt amélioré");
}

// A portal that answers each request as a case says: never, or with the user's refusal.
struct FakePortal : QDBusVirtualObject {
    bool refuses = false;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        if (call.member() == "Get") return bus.send(call.createReply(QVariant::fromValue(QDBusVariant(1u))));
        if (call.member() == "Register") return bus.send(call.createReply());
        const QString token = qdbus_cast<QVariantMap>(call.arguments().last()).value("handle_token").toString();
        const QString request =
            "/org/freedesktop/portal/desktop/request/" + call.service().mid(1).replace('.', '_') + "/" + token;
        bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (refuses)
            bus.send(QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response")
                     << 1u << QVariantMap());
        return true;
    }
};

TEST(Portal, ARefusalOrNoAnswerLeavesTheShortcutToTheTrigger) {
    // The process's session bus is made once, on first use: this case's own, set before. It
    // starts no service, so the portal installed on the machine stays out of it.
    QTemporaryDir dir;
    QFile config(dir.filePath("bus.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("<busconfig><type>session</type><listen>unix:tmpdir=" + dir.path().toUtf8() +
                 "</listen><auth>EXTERNAL</auth>"
                 "<policy context='default'><allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>"
                 "<allow own='*'/></policy></busconfig>");
    config.close();
    Child bus("dbus-daemon", {"--config-file=" + config.fileName(), "--nofork", "--print-address=1"});
    const QByteArray address = busAddress(bus);
    ASSERT_FALSE(address.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    {
        QDBusConnection side = QDBusConnection::connectToBus(QString(address), "portal");
        for (bool refuses : {true, false}) {  // (no portal at all: the sway cases meet that)
            FakePortal portal;
            portal.refuses = refuses;
            ASSERT_TRUE(side.registerService("org.freedesktop.portal.Desktop") &&
                        side.registerVirtualObject("/org/freedesktop/portal/desktop", &portal));
            std::optional<wayland::GlobalShortcut::Outcome> outcome;
            wayland::GlobalShortcut shortcut(
                APP_ID, "improve", "", "CTRL+U", [] {}, [&](auto o) { outcome = o; });
            EXPECT_TRUE(waitFor([&] { return outcome.has_value(); }, 15000)) << refuses;  // the app's limit is 10 s
            EXPECT_EQ(outcome, wayland::GlobalShortcut::Outcome::Unavailable) << refuses;
            side.unregisterObject("/org/freedesktop/portal/desktop");
            side.unregisterService("org.freedesktop.portal.Desktop");
        }
    }
    // Closed before their bus goes: libdbus aborts on a private connection that its bus drops.
    QDBusConnection::disconnectFromBus("portal");
    QDBusConnection::disconnectFromBus("qt_default_session_bus");
}

}  // namespace
}  // namespace quillberry::wayland_test

int main(int argc, char** argv) {
    if (argc == 2 && QByteArray(argv[1]) == "--editor") {  // the focused window of a Wayland program
        QGuiApplication app(argc, argv);
        QGuiApplication::setDesktopFileName(quillberry::wayland_test::EDITOR_ID);
        QRasterWindow window;
        window.resize(400, 300);
        window.show();
        return QGuiApplication::exec();
    }
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
