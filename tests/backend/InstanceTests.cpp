// The running instance's ways in from other processes: its trigger socket and its quit signals.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <future>

#include "Processes.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

using namespace std::chrono_literals;

// Each signal leaves a byte for the event loop, which does not read them yet: the handler
// must not wait for room.
TEST(Termination, ABurstOfSignalsWhileTheLoopIsBusyDoesNotHangTheHandler) {
    Child busy(QCoreApplication::applicationFilePath(), {"--take-signals-while-busy"});
    EXPECT_TRUE(busy.waitExit() && busy.exitedCleanly());
}

// A client of the trigger socket that has connected (or tried to) and sent `bytes`; -1 when
// the process had no descriptor for it.
int connectTo(const std::string& path, const std::string& bytes = "") {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return fd;
}

TEST(Trigger, NoPeerTakesTheSocketDownOrHoldsItUpAndBusyIsToldFromAbsent) {
    const std::string id = "app.quillberry.test-trigger", path = qt::triggerPath(id);
    EXPECT_EQ(qt::sendTrigger(id), 1) << "no instance yet";
    qt::Session session;
    qt::QtDefaults defaults(id);
    qt::DesktopHotkeys hotkeys(session, id, defaults);
    int presses = 0;
    hotkeys.installHandler([&] { ++presses; });
    auto trigger = [&] {  // from another thread, while this one runs the event loop
        auto answer = std::async(std::launch::async, [&] { return qt::sendTrigger(id); });
        waitFor([&] { return answer.wait_for(0s) == std::future_status::ready; });
        return answer.get();
    };
    EXPECT_EQ(trigger(), 0);
    // Peers that take every descriptor there is, then go.
    rlimit before{};
    getrlimit(RLIMIT_NOFILE, &before);
    const rlimit few = {rlim_t(QDir("/proc/self/fd").count()) + 16, before.rlim_max};
    setrlimit(RLIMIT_NOFILE, &few);
    std::vector<int> peers;
    for (int fd; (fd = connectTo(path)) >= 0;) peers.push_back(fd);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 200);  // the instance finds none for its peers
    for (int fd : peers) ::close(fd);
    setrlimit(RLIMIT_NOFILE, &before);
    EXPECT_EQ(trigger(), 0);
    EXPECT_EQ(presses, 2);
    // A silent peer and one whose line never ends are let go, not kept.
    const int silent = connectTo(path), endless = connectTo(path, std::string(1 << 16, 'x'));
    char byte;
    EXPECT_TRUE(waitFor([&] { return ::recv(silent, &byte, 1, 0) == 0 && ::recv(endless, &byte, 1, 0) == 0; }));
    ::close(silent), ::close(endless);
    // While the loop is held up (here, by the client itself), also behind a full backlog: busy,
    // and the press the client gave up on is not made later.
    EXPECT_EQ(qt::sendTrigger(id, 300ms), 2);
    for (int fd; peers.size() < 64 && (fd = connectTo(path)) >= 0;) peers.push_back(fd);
    EXPECT_EQ(qt::sendTrigger(id, 300ms), 2);
    EXPECT_FALSE(waitFor([&] { return presses > 2; }, 1500));
    for (int fd : peers) ::close(fd);
    // A runtime folder open to others is not used.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", "/tmp");
    EXPECT_NE(qt::triggerPath(id).rfind("/tmp/app.", 0), 0u) << qt::triggerPath(id);
    qputenv("XDG_RUNTIME_DIR", runtime);
}

}  // namespace
}  // namespace quillberry::testing

int takeSignalsWhileBusy(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    quillberry::qt::installTerminationHandler();
    for (int i = 0; i < 100'000; ++i) std::raise(SIGTERM);
    return 0;
}
