#pragma once
// What every layer that drives real programs shares: waiting on conditions while the Qt event
// loop turns (a clipboard or a socket of this process is served from it), programs stopped by
// their PID, and a new user of the machine for each case.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <memory>

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace quillberry::testing {

// Turns the event loop until `done`, for at most `ms`.
bool waitFor(const std::function<bool()>& done, int ms = 20000);

// The one way a test waits: it fails naming what never came true.
#define EVENTUALLY(condition) \
    ASSERT_TRUE(::quillberry::testing::waitFor([&] { return bool(condition); })) << "never true: " #condition
#define EXPECT_EVENTUALLY(condition) \
    EXPECT_TRUE(::quillberry::testing::waitFor([&] { return bool(condition); })) << "never true: " #condition

// A program the test started, stopped by its PID (SIGTERM, then SIGKILL) when it goes; with
// `group`, started as the leader of a process group of its own, which goes with it (whatever it
// started in turn: a compositor's bar, a bus's services).
struct Child : QProcess {
    explicit Child(const QString& program, const QStringList& args = {},
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment(), bool group = false);
    ~Child() override;
    bool running() const { return state() != QProcess::NotRunning; }
    bool waitExit(int ms = 10000) {
        return waitFor([&] { return !running(); }, ms);
    }
    bool exitedCleanly() const { return !running() && exitStatus() == QProcess::NormalExit && exitCode() == 0; }
    const bool grouped;
};

// Runs a program to its end; its output.
QByteArray run(const QString& program, const QStringList& args,
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());

// Whether bytes wait unread in one of the sockets of the program `pid`: what a stopped program
// was sent meanwhile.
bool hasUnreadInput(qint64 pid);

// A new user of the machine, whatever the caller's environment holds: own home, XDG folders,
// runtime folder and, once started, session bus. When the tests run as root the user's programs
// run as nobody: some desktops refuse root, and nothing of the app may need it.
class User {
public:
    User();
    QString path(const QString& relative = {}) const {
        return dir_.filePath("home") + (relative.isEmpty() ? "" : "/" + relative);
    }
    QString runtime() const { return dir_.filePath("runtime"); }
    QProcessEnvironment env;               // of every program the user runs
    void set(const QString& assignments);  // "NAME=value NAME=value" into env

    std::unique_ptr<Child> start(const QString& program, const QStringList& args = {}) const;
    QByteArray run(const QString& program, const QStringList& args) const;
    // A file of the user's, folders made as needed; an executable one is a copy of `from`.
    void write(const QString& relative, const QByteArray& content);
    void install(const QString& from, const QString& relative);
    // The preferences of someone who finished the onboarding with this address.
    void signIn(const std::string& email);
    // One of the app's files in the configuration folder, "<bundle id><suffix>", from the home.
    QString appFile(const QString& suffix) const;
    // The user's session bus, which this process may use too. It starts only the machine's
    // services named (none: a desktop without them, the portal among others) on demand.
    void startBus(const QStringList& services);
    QString busAddress() const { return env.value("DBUS_SESSION_BUS_ADDRESS"); }

private:
    void own(const QString& path) const;
    QTemporaryDir dir_;
    std::unique_ptr<Child> bus_;
};

}  // namespace quillberry::testing
