#include "Processes.h"

#include <unistd.h>

#include <csignal>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include "config/Constants.h"

namespace quillberry::testing {

namespace {
bool asRoot() { return ::getuid() == 0; }
}  // namespace

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

Child::Child(const QString& program, const QStringList& args, const QProcessEnvironment& env, bool group)
    : grouped(group) {
    setProcessChannelMode(QProcess::MergedChannels);
    setProcessEnvironment(env);
    if (group) setChildProcessModifier([] { ::setpgid(0, 0); });
    start(program, args);
}

Child::~Child() {
    const pid_t pid = pid_t(processId());
    if (pid > 0 && grouped) ::kill(-pid, SIGTERM);
    terminate();
    if (!waitExit(5000)) kill(), waitForFinished();
    if (pid > 0 && grouped) ::kill(-pid, SIGKILL);  // what the group's members left behind
}

QByteArray run(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    Child child(program, args, env);
    child.waitExit(60000);
    return child.readAll();
}

bool hasUnreadInput(qint64 pid) {
    const QByteArray process = ",pid=" + QByteArray::number(pid) + ",";
    for (const QByteArray& line : run("ss", {"-xpH"}).split('\n'))
        if (line.contains(process) && line.simplified().split(' ').value(2) != "0") return true;
    return false;
}

User::User() {
    for (const char* folder : {"home/.config", "home/.local/share", "home/.cache", "home/.local/state", "home/bin"}) {
        QDir(dir_.path()).mkpath(folder);
    }
    QDir(dir_.path()).mkdir("runtime");
    QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Only what a login would give, so nothing of the caller's session leaks in.
    set(QString("PATH=%1/bin:/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 HOME=%1 XDG_RUNTIME_DIR=%2 "
                "XDG_CONFIG_HOME=%1/.config XDG_DATA_HOME=%1/.local/share XDG_CACHE_HOME=%1/.cache "
                "XDG_STATE_HOME=%1/.local/state")
            .arg(path(), runtime()));
    own(dir_.path());
}

std::unique_ptr<Child> User::start(const QString& program, const QStringList& args) const {
    if (!asRoot()) return std::make_unique<Child>(program, args, env, true);
    return std::make_unique<Child>(
        "setpriv", QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "--", program} + args, env, true);
}

void User::set(const QString& assignments) {
    for (const QString& assignment : assignments.split(' '))
        env.insert(assignment.section('=', 0, 0), assignment.section('=', 1));
}

QByteArray User::run(const QString& program, const QStringList& args) const {
    auto child = start(program, args);
    child->waitExit(60000);
    return child->readAll();
}

void User::write(const QString& relative, const QByteArray& content) {
    QDir(path()).mkpath(QFileInfo(relative).path());
    QFile file(path(relative));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size()) << relative.toStdString();
    file.close();
    own(path());
}

void User::install(const QString& from, const QString& relative) {
    QDir(path()).mkpath(QFileInfo(relative).path());
    QFile::remove(path(relative));
    EXPECT_TRUE(QFile::copy(from, path(relative))) << from.toStdString();
    own(path());
}

QString User::appFile(const QString& suffix) const {
    return ".config/" + QString::fromUtf8(SETTINGS_FOLDER) + "/" + QString::fromUtf8(BUNDLE_ID) + suffix;
}

void User::signIn(const std::string& email) {
    write(appFile(".ini"), QByteArray("[General]\n") + ONBOARDING_KEY.data() + "=true\n" + EMAIL_KEY.data() + "=" +
                               email.c_str() + "\n");
}

void User::startBus(const QStringList& services) {
    QDir(path()).mkpath(".bus-services");
    for (const QString& service : services) {
        QFile::link("/usr/share/dbus-1/services/" + service + ".service",
                    path(".bus-services/" + service + ".service"));
    }
    install(QUILLBERRY_SOURCE_DIR "/tests/support/session-bus.conf", ".bus.conf");
    const QString address = "unix:path=" + runtime() + "/bus";
    bus_ = start("dbus-daemon", {"--config-file=" + path(".bus.conf"), "--address=" + address, "--nofork"});
    EXPECT_TRUE(waitFor([&] { return QFile::exists(runtime() + "/bus") || !bus_->running(); }) && bus_->running())
        << bus_->readAll().toStdString();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
}

void User::own(const QString& path) const {
    // (-f: the user's programs may remove a file of theirs meanwhile, such as a cache's temporary.)
    if (asRoot()) testing::run("chown", {"-R", "-h", "-f", "65534:65534", path});
}

}  // namespace quillberry::testing
