// The app's main job on every desktop it supports, each desktop a row of the same round: text
// copied (or, in automatic mode, selected) in the user's editor, the shortcut pressed the way
// that desktop fires it, the exact request at the service, the notice shown with the focus and
// closed, the focus back in the editor, and the improved prompt pasted there.
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <csignal>

#include "Round.h"
#include "platform/wayland/GlobalShortcut.h"

namespace quillberry::testing {
namespace {

// The text copied (or selected), the shortcut, the exact request, the notice closed, and the
// improved prompt pasted in the editor.
struct Round : OnDesktop {
    void improve() {
        const QString text = automatic ? "Texte sélectionné" : "Texte copié";
        automatic ? desktop->select(text) : desktop->copy(text);
        ServiceStub service;
        desktop->pressUntil([&] {
            return row.textWindow ? desktop->focused() == desktop->appId : service.server.hasPendingConnections();
        });
        if (row.textWindow) desktop->closeNotice();  // Return sends the text the window read
        service.serveNext(text, "Prompt amélioré");
        desktop->closeNotice();
        // (The editor learns of the new clipboard with the focus, a moment after it.)
        EXPECT_EVENTUALLY(desktop->paste() == "Prompt amélioré");
    }
};

TEST_P(Round, ImprovesTheTextAndGivesTheFocusBack) {
    ASSERT_NO_FATAL_FAILURE(improve());
    EXPECT_TRUE(desktop->iconInTray());
    EXPECT_EQ(QFile::exists(user.path(user.appFile(".trigger-used"))), row.trigger) << "the next launch asks again";
}
INSTANTIATE_TEST_SUITE_P(Desktops, Round, ::testing::ValuesIn(cases()), caseName);

// Where the desktop asks the user to confirm the app's shortcut, once is enough: at the next
// launch the shortcut works and nothing is asked.
using Confirmed = Round;

TEST_P(Confirmed, TheNextLaunchAsksNothing) {
    desktop->app.reset();
    ASSERT_NO_FATAL_FAILURE(desktop->startApp(row.app));
    ASSERT_NO_FATAL_FAILURE(desktop->closeLaunchNotices(row.launchNotices, false));
    improve();
}
INSTANTIATE_TEST_SUITE_P(Desktops, Confirmed, ::testing::ValuesIn(cases(&Row::confirms, false)), caseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Confirmed);  // where no desktop asks

// The desktop restarts its pieces under the app, after a crash or a package upgrade. Its tray
// host: the icon comes back by itself, with a menu that works; and it comes too when the app
// started first (an autostart racing the panel).
using TrayHostRestart = OnDesktop;

TEST_P(TrayHostRestart, TheIconComesBackWithAMenuThatWorks) {
    desktop->restartTrayHost();
    EXPECT_EVENTUALLY(desktop->iconInTray());
    desktop->restartTrayHost([&] {
        desktop->app.reset();
        desktop->startApp(row.app);
    });
    desktop->closeLaunchNotices(row.launchNotices, false);
    EXPECT_EVENTUALLY(desktop->iconInTray());
    desktop->quitFromTrayMenu();
    EXPECT_TRUE(desktop->app->waitExit() && desktop->app->exitedCleanly());
}
INSTANTIATE_TEST_SUITE_P(Desktops, TrayHostRestart, ::testing::ValuesIn(cases(nullptr, false)), caseName);

// Its portal: the shortcut works again, with no question from the desktop, which remembers it,
// and no notice from the app (either would take the focus from the round).
using PortalRestart = Round;

TEST_P(PortalRestart, TheShortcutWorksAgainAndNothingIsAsked) {
    ASSERT_NO_FATAL_FAILURE(improve());
    desktop->restartPortal();
    improve();
}
INSTANTIATE_TEST_SUITE_P(Desktops, PortalRestart, ::testing::ValuesIn(cases(&Row::portal, false)), caseName);

// What other programs do to the clipboard the app serves through data-control.
using DataControl = OnDesktop;

// Readers that never read (`wl-paste | sleep`) hold no thread of the app, and its descriptors
// only for a while; a paste made meanwhile waits its turn and gets the text.
TEST_P(DataControl, ReadersThatNeverReadHoldNothingOfTheAppForLong) {
    desktop->copy("texte");
    ServiceStub service;
    desktop->pressUntil([&] { return service.server.hasPendingConnections(); });
    service.serveNext("texte", QByteArray(600'000, 'a'));  // more than two pipes hold
    desktop->closeNotice();
    const QString proc = "/proc/" + QString::number(desktop->app->processId());
    auto threads = [&] { return QDir(proc + "/task").count(); };
    auto descriptors = [&] { return QDir(proc + "/fd").count(); };
    const auto threadsBefore = threads(), descriptorsBefore = descriptors();
    std::vector<std::unique_ptr<Child>> readers;
    for (int i = 0; i < 40; ++i) readers.push_back(user.start("sh", {"-c", "wl-paste | sleep 120"}));
    EVENTUALLY(descriptors() > descriptorsBefore) << "the readers were served";
    EXPECT_LE(threads(), threadsBefore + 1);
    auto paste = desktop->user.start("sh", {"-c", "wl-paste -n | wc -c"});
    EXPECT_TRUE(paste->waitExit(30000));
    EXPECT_EQ(paste->readAll().trimmed(), "600000");
    EXPECT_EVENTUALLY(descriptors() <= descriptorsBefore) << "readers that never read are let go: " << descriptors()
                                                          << " descriptors, " << descriptorsBefore << " before";
}
INSTANTIATE_TEST_SUITE_P(Desktops, DataControl, ::testing::ValuesIn(cases(&Row::dataControl, false)), caseName);

// Automatic mode with data-control: the app reads the selection of others, and its own.
using AutomaticDataControl = OnDesktop;

TEST_P(AutomaticDataControl, ASelectionOverTheLimitIsNeitherSentNorCopied) {
    desktop->select(QString(2 << 20, 'x'));
    ServiceStub service;
    desktop->pressUntil([&] { return desktop->focused() == desktop->appId; });
    desktop->closeNotice();
    EXPECT_FALSE(service.server.hasPendingConnections());
    EXPECT_EQ(desktop->paste(), "") << "a text read in part never goes to the clipboard";
}

TEST_P(AutomaticDataControl, TheNextPressTakesWhatIsSelectedInTheAppsOwnNotice) {
    desktop->select("texte");
    ServiceStub service;
    desktop->pressUntil([&] { return service.server.hasPendingConnections(); });
    service.serveNext("texte", "Prompt amélioré");
    EVENTUALLY(desktop->focused() == desktop->appId);
    desktop->key("Tab"), desktop->key("ctrl+a");  // the improved prompt selected in the notice's viewer
    desktop->closeNotice();
    desktop->pressUntil([&] { return service.server.hasPendingConnections(); });
    service.serveNext("Prompt amélioré", "Encore mieux");
}
INSTANTIATE_TEST_SUITE_P(Desktops, AutomaticDataControl, ::testing::ValuesIn(cases(&Row::dataControl, true)), caseName);

// Another program holds the clipboard, takes the app's request (seen waiting in its socket while
// it is stopped) and exits unanswered: the press ends at once, well before the app would give up
// on a silent owner (5 s). On the desktops where the app reads the clipboard without its window.
using OwnerGone = OnDesktop;

TEST_P(OwnerGone, AClipboardOwnerThatExitsBeforeAnsweringEndsThePressAtOnce) {
    auto owner = row.dataControl ? user.start("wl-copy", {"--foreground"})
                                 : user.start("xclip", {"-quiet", "-selection", "clipboard", "-i"});
    owner->write("texte"), owner->closeWriteChannel();
    EVENTUALLY(desktop->paste() == "texte");
    ::kill(pid_t(owner->processId()), SIGSTOP);
    desktop->pressUntil([&] { return hasUnreadInput(owner->processId()); });
    owner->kill();
    EXPECT_TRUE(waitFor([&] { return desktop->focused() == desktop->appId; }, 2500)) << "waited for the owner";
    desktop->closeNotice();
}
INSTANTIATE_TEST_SUITE_P(Desktops, OwnerGone, ::testing::ValuesIn([] {
                             auto all = cases(nullptr, false);
                             std::erase_if(all, [](const auto& c) { return std::get<0>(c).textWindow; });
                             return all;
                         }()),
                         caseName);

// A clipboard over the request limit never reaches the app's text window: the run fails at once,
// and the app, not held up filling the window, takes a trigger meanwhile.
using TextWindow = OnDesktop;

TEST_P(TextWindow, AClipboardOverTheLimitFailsAtOnce) {
    desktop->copy(QString(2 << 20, 'x'));
    desktop->pressUntil([&] { return desktop->focused() == desktop->appId; });
    auto trigger = user.start(user.path("bin/quillberry"), {"--trigger"});
    EXPECT_TRUE(trigger->waitExit() && trigger->exitedCleanly()) << trigger->readAll().toStdString();
    desktop->closeNotice();
}
INSTANTIATE_TEST_SUITE_P(Desktops, TextWindow, ::testing::ValuesIn(cases(&Row::textWindow)), caseName);

// A D-Bus object that answers each call as a case scripts it: the desktop portal.
struct ScriptedObject : QDBusVirtualObject {
    std::function<bool(const QDBusMessage&, const QDBusConnection&)> answer;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& call, const QDBusConnection& bus) override {
        if (call.member() == "Introspect") return bus.send(call.createReply("<node/>"));
        return answer(call, bus);
    }
};

// The desktop portal's shortcut against a portal that answers as a row says.
struct PortalCase {
    const char* name;
    bool silent;                       // it answers no request at all
    uint version;                      // of its GlobalShortcuts interface
    std::optional<QString> known;      // the key of a shortcut it keeps from an earlier run
    std::optional<uint> bindResponse;  // absent: a bind is never answered
    QString bindKey;
    bool binds;
    wayland::GlobalShortcut::Outcome outcome;
    // Its shortcuts of another type, and a press before each answer whose session is a string.
    bool mistyped = false;
};
using enum wayland::GlobalShortcut::Outcome;
const PortalCase PORTALS[] = {
    {"Silent", true, 1, {}, {}, "", false, Unavailable},  // (no portal at all: the sway and GNOME 43 rows)
    {"Refused", false, 1, {}, 1u, "", true, Unavailable},
    {"AcceptedWithItsKey", false, 1, {}, 0u, "Ctrl+U", true, Bound},
    {"AcceptedWithAnOddCode", false, 1, {}, 7u, "Press <Control>u", true, Bound},  // GNOME 48.0's code
    {"AcceptedWithoutAKey", false, 1, {}, 0u, "", true, Unavailable},
    // Version 1 (Plasma up to 6.4): a known shortcut is live, and a bind would open the settings.
    {"KnownToAVersion1Portal", false, 1, "Ctrl+U", {}, "", false, Bound},
    {"KnownWithoutAKey", false, 1, "", {}, "", false, Unavailable},
    // Version 2 (Plasma 6.5 on): only a bind makes it live, and one of a known shortcut asks nothing.
    {"KnownToAVersion2Portal", false, 2, "Ctrl+U", 0u, "Ctrl+U", true, Bound},
    // Whatever holds the portal's name: what it sends is read only once its type is right.
    {"Mistyped", false, 1, "Ctrl+U", {}, "", false, Unavailable, true},
};

class Portal : public ::testing::TestWithParam<PortalCase> {
protected:
    // The process's session bus is made at its first use: the case's own, which starts no service.
    static inline std::unique_ptr<User> user;
    static void SetUpTestSuite() {
        user = std::make_unique<User>();
        user->startBus(QStringList());
        qputenv("DBUS_SESSION_BUS_ADDRESS", user->busAddress().toUtf8());
    }
    static void TearDownTestSuite() {
        // Closed before their bus goes: libdbus aborts on a private connection that its bus drops.
        QDBusConnection::disconnectFromBus("qt_default_session_bus");
        user.reset();
    }
};

TEST_P(Portal, BindsTheShortcutOnlyWithAKeyAndRegistersTheAppFirst) {
    const PortalCase& c = GetParam();
    qDBusRegisterMetaType<QPair<QString, QString>>();
    QStringList calls;
    QMap<QString, QString> firstCall;  // of each connection
    QString sessionsFirstCall;         // of the connection that made the session
    auto respond = [&](const QDBusConnection& bus, const QString& request, uint code, const QString* key) {
        QVariantMap results{{"session_handle", "/org/freedesktop/portal/desktop/session/1/quillberry"}};
        QDBusArgument list;
        if (c.mistyped) list << QList<QPair<QString, QString>>{{"improve", key ? *key : ""}};
        else list << QList<QPair<QString, QVariantMap>>{{"improve", {{"trigger_description", key ? *key : ""}}}};
        if (key) results["shortcuts"] = QVariant::fromValue(list);
        if (c.mistyped)
            bus.send(QDBusMessage::createSignal("/org/freedesktop/portal/desktop",
                                                "org.freedesktop.portal.GlobalShortcuts", "Activated")
                     << QString() << QString("improve") << qulonglong(0) << QVariantMap());
        bus.send(QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response") << code << results);
    };
    ScriptedObject portal;
    portal.answer = [&](const QDBusMessage& call, const QDBusConnection& bus) {
        calls << call.member();
        if (!firstCall.contains(call.service())) firstCall[call.service()] = call.member();
        if (call.member() == "Get") return bus.send(call.createReply(QVariant::fromValue(QDBusVariant(c.version))));
        if (call.member() == "Register") return bus.send(call.createReply());
        const QString request = "/org/freedesktop/portal/desktop/request/" + call.service().mid(1).replace('.', '_') +
                                "/" + qdbus_cast<QVariantMap>(call.arguments().last()).value("handle_token").toString();
        bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (call.member() == "CreateSession") sessionsFirstCall = firstCall[call.service()];
        if (c.silent) return true;
        if (call.member() == "CreateSession") respond(bus, request, 0, nullptr);
        if (call.member() == "ListShortcuts") respond(bus, request, 0, c.known ? &*c.known : nullptr);
        if (call.member() == "BindShortcuts" && c.bindResponse) respond(bus, request, *c.bindResponse, &c.bindKey);
        return true;
    };
    QDBusConnection side = QDBusConnection::connectToBus(user->busAddress(), "portal");
    ASSERT_TRUE(side.registerService("org.freedesktop.portal.Desktop") &&
                side.registerVirtualObject("/org/freedesktop/portal/desktop", &portal));
    // Qt's own calls on the shared connection, as the colour scheme's are at start.
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.DBus.Properties", "Get"));
    std::optional<wayland::GlobalShortcut::Outcome> outcome;
    QStringList described;
    int presses = 0;
    {
        wayland::GlobalShortcut shortcut(
            "app.quillberry.Test", "improve", "", "CTRL+u", [&] { ++presses; }, [&](auto o) { outcome = o; });
        shortcut.onDescribed([&](const QString& keys) { described << keys; });
        EXPECT_TRUE(waitFor([&] { return outcome.has_value(); }));  // the app's limit is 10 s
        if (outcome == Bound) {
            // Rebound in the desktop's settings: the app names the new keys; and it opens the
            // desktop's own dialog where the portal has one.
            QDBusArgument list;
            list << QList<QPair<QString, QVariantMap>>{{"improve", {{"trigger_description", "Ctrl+Alt+J"}}}};
            side.send(QDBusMessage::createSignal("/org/freedesktop/portal/desktop",
                                                 "org.freedesktop.portal.GlobalShortcuts", "ShortcutsChanged")
                      << QVariant::fromValue(QDBusObjectPath("/org/freedesktop/portal/desktop/session/1/quillberry"))
                      << QVariant::fromValue(list));
            EXPECT_TRUE(waitFor([&] { return described.size() == 2; }));
            EXPECT_EQ(described.value(1), "Ctrl+Alt+J");
            EXPECT_EQ(shortcut.configurable(), c.version >= 2);
            if (shortcut.configurable()) shortcut.configure();
            EXPECT_EQ(waitFor([&] { return calls.contains("ConfigureShortcuts"); }, 500), c.version >= 2);
        }
    }
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(described.value(0), c.outcome == Bound ? "Ctrl+U" : "") << "as the texts name keys, whoever described it";
    EXPECT_EQ(presses, 0);
    EXPECT_EQ(calls.contains("BindShortcuts"), c.binds);
    EXPECT_EQ(sessionsFirstCall, "Register") << "the app id is registered first on the session's connection";
    side.unregisterObject("/org/freedesktop/portal/desktop");
    side.unregisterService("org.freedesktop.portal.Desktop");
    QDBusConnection::disconnectFromBus("portal");
}
INSTANTIATE_TEST_SUITE_P(Answers, Portal, ::testing::ValuesIn(PORTALS), [](const auto& c) { return c.param.name; });

}  // namespace
}  // namespace quillberry::testing

int main(int argc, char** argv) {
    if (int status = quillberry::testing::runHelper(argc, argv); status >= 0) return status;
    QCoreApplication app(argc, argv);  // first: the rows ask what the machine has installed
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
