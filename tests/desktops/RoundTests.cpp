// The app's main job on every desktop it supports, each desktop a row of the same round: text
// copied (or, in automatic mode, selected) in the user's editor, the shortcut pressed the way
// that desktop fires it, the exact request at the service, the notice shown with the focus and
// closed, the focus back in the editor, and the improved prompt pasted there.
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QFile>
#include <QGuiApplication>

#include "Desktops.h"
#include "Servers.h"
#include "platform/wayland/GlobalShortcut.h"

namespace quillberry::testing {
namespace {

struct Row {
    const char* name;
    std::unique_ptr<Desktop> (*make)();
    const char* app;
    int launchNotices;  // what the app says at launch there (how to bind the shortcut, the clipboard)
    bool selection;     // automatic mode: the app may read the selection there
    bool textWindow;    // no data-control: the text comes through the app's own window
    bool trigger;       // the desktop runs `quillberry --trigger`
    friend void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }
};

const Row ROWS[] = {
    {"x11", makeX11, QUILLBERRY_APP, 0, true, false, false},
    {"sway", makeSway, QUILLBERRY_APP, 1, true, false, true},
    {"sway_without_data_control", makeSway, QUILLBERRY_APP_NO_DATA_CONTROL, 2, false, true, true},
    {"kwin", makeKWin, QUILLBERRY_APP, 0, false, false, false},
    {"gnome", makeGnome, QUILLBERRY_APP, 2, false, true, true},
};

class Round : public ::testing::TestWithParam<std::tuple<Row, bool>> {
protected:
    const Row& row = std::get<0>(GetParam());
    const bool automatic = std::get<1>(GetParam());
    std::unique_ptr<Desktop> desktop = row.make();

    void SetUp() override {
        desktop->user.signIn("me@example.com");
        if (automatic) desktop->user.write(desktop->user.appFile(".automatic-mode"), "granted\n");
        ASSERT_NO_FATAL_FAILURE(desktop->start());
        ASSERT_NO_FATAL_FAILURE(desktop->startApp(row.app));
        for (int i = 0; i < row.launchNotices; ++i) ASSERT_NO_FATAL_FAILURE(closeNotice());
    }
    void TearDown() override {
        if (HasFailure()) desktop->screenshot();
    }
    // The notice that has the focus, closed; the focus back in the editor.
    void closeNotice() {
        EVENTUALLY(desktop->focused() == desktop->appId);
        desktop->closeNotice();
        EVENTUALLY(desktop->focused() == EDITOR);
    }
};

TEST_P(Round, ImprovesTheTextAndGivesTheFocusBack) {
    const QString text = automatic ? "Texte sélectionné" : "Texte copié";
    automatic ? desktop->select(text) : desktop->copy(text);
    ServiceStub service;
    desktop->pressUntil(
        [&] { return row.textWindow ? desktop->focused() == desktop->appId : service.server.hasPendingConnections(); });
    if (row.textWindow) closeNotice();  // Return sends the text the window read
    service.serveNext(text, "Prompt amélioré");
    closeNotice();
    // (The editor learns of the new clipboard with the focus, a moment after it.)
    EXPECT_EVENTUALLY(desktop->paste() == "Prompt amélioré");
    EXPECT_TRUE(desktop->iconInTray());
    EXPECT_EQ(QFile::exists(desktop->user.path(desktop->user.appFile(".trigger-used"))), row.trigger)
        << "the next launch asks again";
}

// Each desktop in manual mode, and in automatic mode where it lets the app read the selection.
std::vector<std::tuple<Row, bool>> cases() {
    std::vector<std::tuple<Row, bool>> all;
    for (const Row& row : ROWS) {
        all.emplace_back(row, false);
        if (row.selection) all.emplace_back(row, true);
    }
    return all;
}
INSTANTIATE_TEST_SUITE_P(Desktops, Round, ::testing::ValuesIn(cases()), [](const auto& p) {
    return std::string(std::get<0>(p.param).name) + (std::get<1>(p.param) ? "_automatic" : "");
});

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
    QStringList calls;
    QMap<QString, QString> firstCall;  // of each connection
    QString sessionsFirstCall;         // of the connection that made the session
    auto respond = [&](const QDBusConnection& bus, const QString& request, uint code, const QString* key) {
        QVariantMap results{{"session_handle", "/org/freedesktop/portal/desktop/session/1/quillberry"}};
        QDBusArgument list;
        list << QList<QPair<QString, QVariantMap>>{{"improve", {{"trigger_description", key ? *key : ""}}}};
        if (key) results["shortcuts"] = QVariant::fromValue(list);
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
    {
        wayland::GlobalShortcut shortcut(
            "app.quillberry.Test", "improve", "", "CTRL+u", [] {}, [&](auto o) { outcome = o; });
        EXPECT_TRUE(waitFor([&] { return outcome.has_value(); }));  // the app's limit is 10 s
    }
    EXPECT_EQ(outcome, c.outcome);
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
    if (argc == 2 && std::string(argv[1]) == "--editor") return quillberry::testing::runEditor(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
