// What only X11 has, and the bad days of the built app there: lock keys and another keyboard
// layout, the tray menu's Ctrl+Q, the trigger command, hostile replies and clipboards, racing
// starts and a lock someone else laid.
#include <csignal>

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTcpServer>
#include <set>

#include "Round.h"

namespace quillberry::testing {
namespace {

struct X11 : OnDesktop {
    QByteArray clipboard(const QString& type = "UTF8_STRING") const {
        return user.run("xclip", {"-selection", "clipboard", "-t", type, "-o"});
    }
};

TEST_P(X11, TheTriggerCommandPressesForTheRunningInstanceAndStartsNothingAlone) {
    ServiceStub service;
    desktop->copy("texte");
    auto trigger = user.start(user.path("bin/quillberry"), {"--trigger"});
    EXPECT_TRUE(trigger->waitExit() && trigger->exitedCleanly());
    service.serveNext("texte", "mieux");
    desktop->closeNotice();
    desktop->app.reset();
    auto alone = user.start(user.path("bin/quillberry"), {"--trigger"});
    ASSERT_TRUE(alone->waitExit());
    EXPECT_NE(alone->exitCode(), 0);
    EXPECT_FALSE(alone->readAll().isEmpty()) << "it says why";
    EXPECT_TRUE(x11Windows(user, "icon").empty());
}

TEST_P(X11, AFiveMegabyteReplyShowsWhileOtherProgramsPasteItWhole) {
    ServiceStub service;
    desktop->copy("texte");
    desktop->pressShortcut();
    const QByteArray improved(5'000'000, 'A');
    service.serveNext("texte", improved);
    EVENTUALLY(desktop->focused() == desktop->appId);
    EXPECT_EQ(clipboard(), improved);
    desktop->closeNotice();
}

TEST_P(X11, ARequestThatIsNeverAnsweredDoesNotHoldUpQuitting) {
    ServiceStub service;
    desktop->copy("texte");
    desktop->pressShortcut();
    const auto unanswered = service.nextRequest();  // held open: the request stays in flight
    ASSERT_TRUE(unanswered);
    desktop->app->terminate();
    ASSERT_TRUE(desktop->app->waitExit(3000)) << "quitting waited for the request";
    EXPECT_TRUE(desktop->app->exitedCleanly());
}

TEST_P(X11, HugeImageOrUnservedClipboardsSendNothingAndKeepWhatTheyHold) {
    ServiceStub service;
    auto offer = [&](const QString& type, const QByteArray& data) {
        auto owner = user.start("xclip", {"-quiet", "-selection", "clipboard", "-t", type, "-i"});
        owner->write(data);
        owner->closeWriteChannel();
        EXPECT_EVENTUALLY(clipboard("TARGETS").contains(type.toUtf8()));
        return owner;
    };
    const QString huge(20 << 20, 'x');
    desktop->copy(huge);
    desktop->pressShortcut();
    EXPECT_TRUE(waitFor([&] { return desktop->focused() == desktop->appId; }, 60000)) << "20 MiB take a while";
    desktop->closeNotice();
    EXPECT_EQ(clipboard().size(), huge.size());

    auto image =
        offer("image/png", QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk"
                                                  "YPhfDwAChwGA60e6kgAAAABJRU5ErkJggg=="));
    desktop->pressShortcut();
    desktop->closeNotice();
    EXPECT_TRUE(clipboard("TARGETS").contains("image/png"));

    // An owner that holds the clipboard and never answers: the app gives up after 5 s.
    auto silent = offer("UTF8_STRING", "never served");
    ::kill(pid_t(silent->processId()), SIGSTOP);
    desktop->pressShortcut();
    desktop->closeNotice();
    ::kill(pid_t(silent->processId()), SIGCONT);
    EXPECT_FALSE(service.server.hasPendingConnections()) << "none of them reached the service";
    EXPECT_TRUE(desktop->app->running());
}

TEST_P(X11, TheHotkeyIsTheUKeyPositionWhateverTheLayoutAndTheLockKeys) {
    ServiceStub service;
    desktop->copy("texte");
    user.run("xdotool", {"key", "Num_Lock"});
    user.run("setxkbmap", {"-layout", "us", "-variant", "dvorak"});
    user.run("xdotool", {"key", "ctrl+u"});  // Dvorak's "u" is elsewhere: nothing happens
    EXPECT_FALSE(waitFor([&] { return service.server.hasPendingConnections(); }, 2000)) << "Ctrl with Dvorak's u";
    user.run("xdotool", {"key", "ctrl+g"});  // the key at the U position types "g" on Dvorak
    service.serveNext("texte", "mieux");
    user.run("setxkbmap", {"-layout", "us"});
    desktop->closeNotice();
}

TEST_P(X11, CtrlQQuitsFromTheMenuThenTenRacingStartsLeaveOneInstanceAndNoDeadOrLinkedLockStopsTheNext) {
    desktop->quitFromTrayMenu();  // with "Quitter"'s key, while the tray menu is open
    EXPECT_TRUE(desktop->app->waitExit() && desktop->app->exitedCleanly());
    ASSERT_TRUE(QFile::remove(user.path(user.appFile(".ini"))));  // a first run: the onboarding shows

    std::vector<std::unique_ptr<Child>> starts;
    for (int i = 0; i < 10; ++i) starts.push_back(user.start(user.path("bin/quillberry")));
    auto ended = [&] { return std::count_if(starts.begin(), starts.end(), [](auto& c) { return !c->running(); }); };
    EVENTUALLY(ended() == 9 && x11Windows(user, "icon").size() == 1);
    EXPECT_EVENTUALLY(desktop->focused() == desktop->appId);
    for (auto& c : starts)
        EXPECT_TRUE(c->running() || (c->exitedCleanly() && c->readAll().isEmpty())) << "said nothing";
    for (auto& c : starts) c->kill();  // a killed instance leaves nothing behind that stops the next
    EVENTUALLY(x11Windows(user, "icon").empty());
    ASSERT_NO_FATAL_FAILURE(desktop->startApp(QUILLBERRY_APP));
    desktop->app.reset();

    const QString target = user.path("not-the-lock");
    const QString lock = user.runtime() + "/" + QString::fromUtf8(BUNDLE_ID) + ".lock";
    ASSERT_TRUE(QFile::remove(lock) && QFile::link(target, lock));
    ASSERT_NO_FATAL_FAILURE(desktop->startApp(QUILLBERRY_APP));
    EXPECT_FALSE(QFile::exists(target)) << "nothing was made through the link";
}
// --help and --version answer while an instance runs; with no display the app says so and fails;
// a second instance (a runtime folder of its own) finds Ctrl+U held and says so at launch; the
// shortcut recorded from the menu works at once, instead of Ctrl+U, and at the next launch.
TEST_P(X11, ALinuxUsersFailuresAreSaidAndTheShortcutRecordedFromTheMenuIsTheOneThatWorks) {
    const QString app = user.path("bin/quillberry");
    for (const QString option : {"--help", "--version"}) {
        auto answer = user.start(app, {option});
        EXPECT_TRUE(answer->waitExit() && answer->exitedCleanly() && !answer->readAll().isEmpty());
    }
    auto headless = user.start("env", {"-u", "DISPLAY", "-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", app});
    EXPECT_TRUE(headless->waitExit() && headless->exitCode() == 1 && !headless->readAll().isEmpty());
    auto other =
        user.start("sh", {"-c", "mkdir -m 700 -p \"$HOME/run2\"; XDG_RUNTIME_DIR=$HOME/run2 exec \"$0\"", app});
    EVENTUALLY(desktop->focused() == desktop->appId) << "Ctrl+U held by the first instance: said";
    desktop->closeNotice();
    other.reset();
    user.run("xdotool", {"mousemove", "--window", x11Windows(user, "icon").value(0), "8", "8", "click", "1"});
    EVENTUALLY(x11Windows(user, "popup").size() == 1);
    desktop->key("Down"), desktop->key("Return");  // the shortcut item, first of the menu's commands
    EVENTUALLY(desktop->focused() == desktop->appId) << "the recorder";
    desktop->key("ctrl+alt+j");
    EVENTUALLY(x11Windows(user, "managed").isEmpty());
    ServiceStub service;
    desktop->copy("texte");
    desktop->key("ctrl+u");
    EXPECT_FALSE(waitFor([&] { return service.server.hasPendingConnections(); }, 2000)) << "Ctrl+U let go";
    for (int launch : {1, 2}) {
        desktop->copy("texte");  // (what the app put on the clipboard left with it)
        desktop->key("ctrl+alt+j");
        service.serveNext("texte", "mieux");
        desktop->closeNotice();
        if (launch == 1) desktop->app.reset(), desktop->startApp(QUILLBERRY_APP);
    }
}
// A port no one listens on now, for a program that needs one given.
QString freeAddress() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return "127.0.0.1:" + QString::number(probe.serverPort());
}

// Two instances behind HAProxy, with the configuration a team would use: a steady stream of
// requests (four at a time) loses only those in flight when one instance is killed.
TEST_P(X11, BehindHaproxyAKilledInstanceLosesOnlyTheRequestsInFlightAndTheAppStillCompletesARound) {
    const QString a = freeAddress(), b = freeAddress();
    Child first(QUILLBERRY_SERVICE, {"--port", a.section(':', 1)}),
        second(QUILLBERRY_SERVICE, {"--port", b.section(':', 1)});
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QUILLBERRY_LISTEN", "127.0.0.1:" + QString::number(QUILLBERRY_SERVICE_PORT));
    env.insert("QUILLBERRY_A", a), env.insert("QUILLBERRY_B", b);
    QNetworkAccessManager net;
    std::set<QNetworkReply*> inFlight, inFlightAtKill;
    int answered = 0, lost = 0, lostInFlight = 0;
    bool stopping = false;
    net.setProxy(QNetworkProxy::NoProxy);
    std::function<void()> send = [&] {
        QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1/improve").arg(QUILLBERRY_SERVICE_PORT)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        QNetworkReply* reply = net.post(request, R"({"prompt":"écris un mail","email":"me@example.com"})");
        inFlight.insert(reply);
        QObject::connect(reply, &QNetworkReply::finished, [&, reply] {
            const bool ok = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
            ++(ok ? answered : inFlightAtKill.count(reply) ? lostInFlight : lost);
            inFlight.erase(reply), reply->deleteLater();
            if (!stopping) send();
        });
    };
    EVENTUALLY(first.peek(256).contains("listening") && second.peek(256).contains("listening"));
    Child haproxy("/usr/sbin/haproxy", {"-db", "-f", QUILLBERRY_HAPROXY_CONFIG}, env);
    auto status = [&](QNetworkReply* reply) {  // once an instance behind it answers: 404 for /
        waitFor([&] { return reply->isFinished(); }, 5000);
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    };
    EVENTUALLY(status(net.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/").arg(QUILLBERRY_SERVICE_PORT))))) ==
               404);
    for (int i = 0; i < 4; ++i) send();
    EVENTUALLY(answered >= 40);
    inFlightAtKill = inFlight, first.kill();
    ASSERT_TRUE(first.waitExit());
    EXPECT_EVENTUALLY(haproxy.peek(4096).contains(a.toUtf8() + " is DOWN"));
    EVENTUALLY(answered >= 240);
    stopping = true;
    EVENTUALLY(inFlight.empty());
    EXPECT_EQ(lost, 0) << answered << " answered";
    RecordProperty("answered", answered), RecordProperty("lost_in_flight_at_kill", lostInFlight);

    desktop->copy("écris un mail pour décaler la réunion");
    desktop->pressShortcut();
    EVENTUALLY(desktop->focused() == desktop->appId);
    EXPECT_TRUE(clipboard().contains("écris un mail pour décaler la réunion"));
    desktop->closeNotice();
}

// The service killed (SIGKILL) with the app's request in flight, held there by an upstream that
// never answers: that press ends with the failure notice, and once the service is started again
// the next press is answered.
TEST_P(X11, AServiceKilledWithARequestInFlightFailsThatPressAndTheNextAfterItIsBackWorks) {
    QTcpServer upstream;
    ASSERT_TRUE(upstream.listen(QHostAddress::LocalHost));
    const QString port = QString::number(QUILLBERRY_SERVICE_PORT);
    auto service = std::make_unique<Child>(
        QUILLBERRY_SERVICE,
        QStringList{"--port", port, "--upstream", "http://127.0.0.1:" + QString::number(upstream.serverPort())});
    EVENTUALLY(service->peek(256).contains("listening"));
    const QByteArray text = "écris un mail pour décaler la réunion";
    desktop->copy(text);
    desktop->pressShortcut();
    EVENTUALLY(upstream.hasPendingConnections()) << "the request in flight";
    service->kill();
    EVENTUALLY(desktop->focused() == desktop->appId);
    EXPECT_EQ(clipboard(), text) << "the failure notice, not a result";
    desktop->closeNotice();
    service = std::make_unique<Child>(QUILLBERRY_SERVICE, QStringList{"--port", port});
    EVENTUALLY(service->peek(256).contains("listening"));
    desktop->pressShortcut();
    EVENTUALLY(desktop->focused() == desktop->appId);
    EXPECT_TRUE(clipboard() != text && clipboard().contains(text)) << "the improved prompt";
    desktop->closeNotice();
}

INSTANTIATE_TEST_SUITE_P(Bad, X11, ::testing::Values(std::tuple(rows().front(), false)), caseName);

TEST(Service, StopsOnASignalThatArrivesWhileItStarts) {
    for (int i = 0; i < 10; ++i) {
        Child service(QUILLBERRY_SERVICE, {"--port", QString::number(QUILLBERRY_SERVICE_PORT)});
        ASSERT_TRUE(service.waitForStarted());
        service.terminate();
        EXPECT_TRUE(service.waitExit(3000)) << "start " << i;
    }
}

}  // namespace
}  // namespace quillberry::testing
