// The app's main job on every desktop it supports, each desktop a row of the same round: text
// copied (or, in automatic mode, selected) in the user's editor, the shortcut pressed the way
// that desktop fires it, the exact request at the service, the notice shown with the focus and
// closed, the focus back in the editor, and the improved prompt pasted there.
#include <QDBusMetaType>
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

TEST(Portal, ARefusalOrNoAnswerLeavesTheShortcutToTheTrigger) {
    User user;
    user.startBus();
    qputenv("DBUS_SESSION_BUS_ADDRESS", user.busAddress().toUtf8());  // this process's, made at first use
    {
        QDBusConnection side = QDBusConnection::connectToBus(user.busAddress(), "portal");
        for (bool refuses : {true, false}) {  // (no portal at all: the sway and GNOME rows)
            ScriptedObject portal;
            portal.answer = [&](const QDBusMessage& call, const QDBusConnection& bus) {
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
            };
            ASSERT_TRUE(side.registerService("org.freedesktop.portal.Desktop") &&
                        side.registerVirtualObject("/org/freedesktop/portal/desktop", &portal));
            std::optional<wayland::GlobalShortcut::Outcome> outcome;
            wayland::GlobalShortcut shortcut(
                "app.quillberry.test", "improve", "", "CTRL+U", [] {}, [&](auto o) { outcome = o; });
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
}  // namespace quillberry::testing

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--editor") return quillberry::testing::runEditor(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
