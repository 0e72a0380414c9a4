#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <functional>
#include <string>

namespace quillberry::testing {

// Runs a program to the end while this process keeps serving X events: the clipboard
// we own is only handed out from our event loop.
inline std::string runServing(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start(program, args);
    process.waitForStarted();
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return process.readAllStandardOutput().toStdString();
}

// Keeps the event loop turning until `done` holds or the time runs out.
inline bool spinUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}  // namespace quillberry::testing
