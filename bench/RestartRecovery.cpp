// How long the app takes to come back when the desktop restarts a piece under it, on the tests' own
// desktop sessions, as the round restarts them: from the order to restart the tray host to the host
// back on its feet and to the app's icon in it again; from the order to restart the portal to the
// portal back on the bus and to the first press of the shortcut that reaches the service (pressed
// every 50 ms meanwhile). Medians over ROUNDS, each in a session of its own; the host and the icon
// are polled as the round checks them (D-Bus calls, or xdotool on X11: tens of ms each).
//   restart_recovery APP [ROUNDS [DESKTOP...]]
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
    int launchNotices;
    bool portal, confirms;
};

double median(std::vector<double> ms) {
    if (ms.empty()) return -1;
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

// One session: the tray host restarted, then (where the shortcut comes through the portal) the
// portal. For each, the milliseconds from the restart's order to the piece back on its feet, and to
// the app back with it; -1 where the app never came back within 20 s.
struct Times {
    double host = -1, app = -1;
};
std::pair<Times, Times> round(const Kind& kind, const QString& app) {
    auto desktop = kind.make();
    desktop->user.signIn("bench@example.com");
    desktop->start();
    desktop->startApp(app);
    desktop->closeLaunchNotices(kind.launchNotices, kind.confirms);
    QElapsedTimer timer;
    auto ms = [&] { return double(timer.nsecsElapsed()) / 1e6; };
    Times tray, portal;
    timer.start();
    desktop->restartTrayHost();
    tray.host = ms();
    if (waitFor([&] { return desktop->iconInTray(); })) tray.app = ms();
    if (!kind.portal) return {tray, portal};
    ServiceStub service;
    auto requested = [&] { return service.server.hasPendingConnections(); };
    desktop->copy("prompt");
    desktop->pressUntil(requested);  // bound before the restart
    service.serveNext("prompt", "mieux", "bench@example.com");
    desktop->closeNotice();
    desktop->copy("prompt");
    timer.start();
    desktop->restartPortal();
    portal.host = ms();
    if (waitFor([&] { return desktop->pressShortcut(), waitFor(requested, 50); })) {
        portal.app = ms();
        service.serveNext("prompt", "mieux", "bench@example.com");
        desktop->closeNotice();
    }
    return {tray, portal};
}
}  // namespace

int main(int argc, char** argv) {
    if (int status = runHelper(argc, argv); status >= 0) return status;
    if (argc < 2) return 2;
    QCoreApplication application(argc, argv);
    const bool gnomePortal = packageVersion("gnome-shell") >= 4800;
    const bool kdeConfirms = packageVersion("xdg-desktop-portal-kde") >= 604;
    const std::map<std::string, Kind> kinds = {{"x11", {makeX11, 0, false, false}},
                                               {"sway", {makeSway, 1, false, false}},
                                               {"kwin", {makeKWin, 0, true, kdeConfirms}},
                                               {"gnome", {makeGnome, gnomePortal ? 1 : 2, gnomePortal, gnomePortal}}};
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::vector<std::string> which(argv + std::min(argc, 3), argv + argc);
    if (which.empty()) which = {"x11", "sway", "kwin", "gnome"};
    for (const std::string& name : which) {
        const Kind& kind = kinds.at(name);
        std::vector<double> trayHost, trayApp, portalHost, portalApp;
        int failed = 0;
        for (int i = 0; i < rounds; ++i) {
            const auto [tray, portal] = round(kind, argv[1]);
            trayHost.push_back(tray.host), portalHost.push_back(portal.host);
            tray.app < 0 ? void(++failed) : trayApp.push_back(tray.app);
            if (kind.portal) portal.app < 0 ? void(++failed) : portalApp.push_back(portal.app);
        }
        std::printf("%-6s tray host restarted %.0f ms, the icon in it %.0f ms", name.c_str(), median(trayHost),
                    median(trayApp));
        if (kind.portal)
            std::printf("; portal restarted %.0f ms, the shortcut working %.0f ms", median(portalHost),
                        median(portalApp));
        std::printf(" (medians from the restart's order, %d sessions, %d never back)\n", rounds, failed);
    }
    return 0;
}
