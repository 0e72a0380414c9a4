// A clipboard owner that takes the app's request and exits unanswered, on the desktops where the
// app reads the clipboard without its window: timed from the owner's kill to the notice's focus.
// The owner is stopped once it holds the clipboard, and killed once the app's request waits in
// its socket. Medians over ROUNDS.
//   owner_gone APP [ROUNDS [DESKTOP...]]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>

#include "Desktops.h"

using namespace quillberry::testing;

namespace {
struct Kind {
    std::unique_ptr<Desktop> (*make)();
    bool wayland;
    int launchNotices;
    bool confirms;  // the desktop asks to confirm the app's shortcut
};

double median(const Kind& kind, const QString& app, int rounds) {
    auto desktop = kind.make();
    desktop->user.signIn("bench@example.com");
    desktop->start();
    desktop->startApp(app);
    desktop->closeLaunchNotices(kind.launchNotices, kind.confirms);
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        auto owner = kind.wayland ? desktop->user.start("wl-copy", {"--foreground"})
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
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}
}  // namespace

int main(int argc, char** argv) {
    if (int status = runHelper(argc, argv); status >= 0) return status;
    if (argc < 2) return 2;
    QCoreApplication application(argc, argv);
    const std::map<std::string, Kind> kinds = {
        {"x11", {makeX11, false, 0, false}},
        {"sway", {makeSway, true, 1, false}},
        {"kwin", {makeKWin, true, 0, packageVersion("xdg-desktop-portal-kde") >= 604}}};
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    std::vector<std::string> which(argv + std::min(argc, 3), argv + argc);
    if (which.empty()) which = {"x11", "sway", "kwin"};
    for (const std::string& name : which) {
        const Kind& kind = kinds.at(name);
        std::printf("%-5s owner killed → notice: median %.1f ms over %d rounds\n", name.c_str(),
                    median(kind, argv[1], rounds), rounds);
    }
    return 0;
}
