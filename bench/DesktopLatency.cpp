// Shortcut to request at the service on each desktop of the tests' round, as they start it: the
// press is timed from the moment the desktop's test input is asked for it (xdotool, wtype, KWin's
// fake input from a running key sender, mutter's remote-desktop keys) to the request's arrival; on the desktops
// where the text comes through the app's window, to that window's focus. Medians over PRESSES.
// With --owner-gone, on the desktops where the app reads the clipboard without its window: a
// clipboard owner that takes the app's request and exits unanswered, timed from the owner's kill
// to the notice's focus (the owner is stopped once it holds the clipboard, and killed once the
// app's request waits in its socket).
//   desktop_latency APP APP_WITHOUT_DATA_CONTROL [PRESSES [DESKTOP...]]
//   desktop_latency --owner-gone APP [ROUNDS [DESKTOP...]]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>

#include "Desktops.h"
#include "Servers.h"

using namespace quillberry::testing;

namespace {
struct Kind {
    std::unique_ptr<Desktop> (*make)();
    bool noDataControl;
    int launchNotices;
};

std::unique_ptr<Desktop> started(const Kind& kind, const QString& app) {
    auto desktop = kind.make();
    desktop->user.signIn("bench@example.com");
    desktop->start();
    desktop->startApp(app);
    desktop->closeLaunchNotices(kind.launchNotices, !desktop->confirmation.isEmpty());
    return desktop;
}

double median(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// One desktop, PRESSES rounds; the median in milliseconds, or -1 when a round failed.
double pressLatency(const Kind& kind, const QString& app, int presses) {
    auto desktop = started(kind, app);
    ServiceStub service;
    std::vector<double> ms;
    // Round 0 is not timed: it waits until the desktop has taken the shortcut at all.
    for (int i = 0; i <= presses; ++i) {
        desktop->copy(QString("prompt %1").arg(i));
        QElapsedTimer timer;
        timer.start();
        auto acted = [&] {
            return kind.noDataControl ? desktop->focused() == desktop->appId : service.server.hasPendingConnections();
        };
        if (i == 0) {
            desktop->pressUntil(acted);
        } else {
            desktop->pressShortcut();
            if (!waitFor(acted, 10000)) return -1;  // a lost key: no figure rather than a wrong one
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        if (kind.noDataControl) desktop->closeNotice();
        service.serveNext(QString("prompt %1").arg(i), "mieux", "bench@example.com");
        desktop->closeNotice();
    }
    return median(ms);
}

double ownerGone(const Kind& kind, bool wayland, const QString& app, int rounds) {
    auto desktop = started(kind, app);
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        auto owner = wayland ? desktop->user.start("wl-copy", {"--foreground"})
                             : desktop->user.start("xclip", {"-quiet", "-selection", "clipboard", "-i"});
        owner->write("texte"), owner->closeWriteChannel();
        if (!waitFor([&] { return desktop->paste() == "texte"; })) return -1;
        ::kill(pid_t(owner->processId()), SIGSTOP);
        desktop->pressUntil([&] { return hasUnreadInput(owner->processId()); });
        QElapsedTimer timer;
        timer.start();
        owner->kill();
        if (!waitFor([&] { return desktop->focused() == desktop->appId; }, 20000)) return -1;
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        desktop->closeNotice();
    }
    return median(ms);
}
}  // namespace

int main(int argc, char** argv) {
    if (int status = runHelper(argc, argv); status >= 0) return status;
    const bool gone = argc > 1 && std::string(argv[1]) == "--owner-gone";
    const int apps = gone ? 1 : 2, first = 1 + gone;  // where the arguments after the apps start
    if (argc < first + apps) return 2;
    QCoreApplication application(argc, argv);
    const std::map<std::string, Kind> kinds = {
        {"x11", {makeX11, false, 0}},
        {"sway", {makeSway, false, 1}},
        {"sway_without_data_control", {makeSway, true, 2}},
        {"kwin", {makeKWin, false, 0}},
        {"gnome", {makeGnome, true, packageVersion("gnome-shell") >= 4800 ? 1 : 2}}};
    const int count = argc > first + apps ? std::atoi(argv[first + apps]) : gone ? 7 : 20;
    std::vector<std::string> which(argv + std::min(argc, first + apps + 1), argv + argc);
    if (which.empty() && gone) which = {"x11", "sway", "kwin"};
    if (which.empty()) which = {"x11", "sway", "sway_without_data_control", "kwin", "gnome"};
    for (const std::string& name : which) {
        const Kind& kind = kinds.at(name);
        if (gone) {
            std::printf("%-5s owner killed → notice: median %.1f ms over %d rounds\n", name.c_str(),
                        ownerGone(kind, name != "x11", argv[first], count), count);
            continue;
        }
        const double ms = pressLatency(kind, kind.noDataControl && name != "gnome" ? argv[2] : argv[1], count);
        std::printf("%-26s shortcut → %s: median %.1f ms over %d presses\n", name.c_str(),
                    kind.noDataControl ? "the app's window" : "request at the service", ms, count);
    }
    return 0;
}
