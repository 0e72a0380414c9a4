#pragma once
// For the tests on a real X server: waiting on conditions while the Qt event loop turns (a
// clipboard this process owns is served from it), and child processes stopped by their PID.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <fstream>
#include <functional>

#include "config/Constants.h"

namespace quillberry::testing {

inline bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Stopped by its PID (SIGTERM, then SIGKILL) when it goes.
struct Child : QProcess {
    explicit Child(const QString& program, const QStringList& args = {}) {
        setProcessChannelMode(QProcess::MergedChannels);
        start(program, args);
    }
    ~Child() override {
        terminate();
        if (!waitExit(5000)) kill(), waitForFinished();
    }
    bool running() const { return state() != QProcess::NotRunning; }
    bool waitExit(int ms = 10000) {
        return waitFor([&] { return !running(); }, ms);
    }
    bool exitedCleanly() const { return !running() && exitStatus() == QProcess::NormalExit && exitCode() == 0; }
};

// One of the app's files in the configuration folder under `home`: "<bundle id><suffix>".
inline QString appFile(const QString& home, const QString& suffix) {
    return home + "/.config/" + QString::fromUtf8(SETTINGS_FOLDER.data(), qsizetype(SETTINGS_FOLDER.size())) + "/" +
           QString::fromUtf8(BUNDLE_ID.data(), qsizetype(BUNDLE_ID.size())) + suffix;
}

// The preferences of a user who finished the onboarding with this address.
inline void writeSettings(const QString& home, const std::string& email) {
    QDir().mkpath(QFileInfo(appFile(home, ".ini")).path());
    std::ofstream(appFile(home, ".ini").toStdString()) << "[General]\n"
                                                       << ONBOARDING_KEY << "=true\n"
                                                       << EMAIL_KEY << "=" << email << "\n";
}

// Runs a tool to its end; its output.
inline QByteArray run(const QString& program, const QStringList& args) {
    Child child(program, args);
    child.waitExit();
    return child.readAll();
}

}  // namespace quillberry::testing
