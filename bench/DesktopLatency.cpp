// Shortcut to request at the service on each desktop of the tests' round, as they start it: the
// press is timed from the moment the desktop's test input is asked for it (xdotool, wtype, KWin's
// fake input from a running key sender, mutter's remote-desktop keys) to the request's arrival; on the desktops
// where the text comes through the app's window, to that window's focus. Medians over PRESSES.
//   desktop_latency APP APP_WITHOUT_DATA_CONTROL [PRESSES [DESKTOP...]]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
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

// One desktop, PRESSES rounds; the median in milliseconds, or -1 when a round failed.
double median(const Kind& kind, const QString& app, int presses) {
    auto desktop = kind.make();
    desktop->user.signIn("bench@example.com");
    desktop->start();
    desktop->startApp(app);
    desktop->closeLaunchNotices(kind.launchNotices, !desktop->confirmation.isEmpty());
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
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    if (int status = runHelper(argc, argv); status >= 0) return status;
    if (argc < 3) return 2;
    QCoreApplication application(argc, argv);
    const std::map<std::string, Kind> kinds = {
        {"x11", {makeX11, false, 0}},
        {"sway", {makeSway, false, 1}},
        {"sway_without_data_control", {makeSway, true, 2}},
        {"kwin", {makeKWin, false, 0}},
        {"gnome", {makeGnome, true, packageVersion("gnome-shell") >= 4800 ? 1 : 2}}};
    const int presses = argc > 3 ? std::atoi(argv[3]) : 20;
    std::vector<std::string> which(argv + std::min(argc, 4), argv + argc);
    if (which.empty()) which = {"x11", "sway", "sway_without_data_control", "kwin", "gnome"};
    for (const std::string& name : which) {
        const Kind& kind = kinds.at(name);
        const double ms = median(kind, kind.noDataControl && name != "gnome" ? argv[2] : argv[1], presses);
        std::printf("%-26s shortcut → %s: median %.1f ms over %d presses\n", name.c_str(),
                    kind.noDataControl ? "the app's window" : "request at the service", ms, presses);
    }
    return 0;
}
