#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <csignal>

#include "Processes.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

using namespace std::chrono_literals;

QString settingsFile(const std::string& bundle) { return QString::fromStdString(qt::QtDefaults(bundle).fileName()); }

unsigned mode(const QString& path) {
    struct stat st = {};
    return ::stat(path.toUtf8().constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// What a restart would find: the file as it is on disk. (QSettings objects of one process
// share what they read.)
QByteArray onDisk(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : "(unreadable)";
}

void writeFile(const QString& name, const QByteArray& data) {
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

TEST(Defaults, OnlyAnUnparseableFileIsKeptAsideAndRestartedOnWrite) {
    const QString file = settingsFile("app.quillberry.test-corrupt");
    writeFile(file, "[General\nverbalift_email=stale@example.com\n\x01\x02\xff\xfe garbage");
    qt::QtDefaults defaults("app.quillberry.test-corrupt");
    EXPECT_EQ(defaults.stringForKey("verbalift_email"), std::nullopt);
    defaults.setString("verbalift_email", "fresh@example.com");
    EXPECT_EQ(qt::QtDefaults("app.quillberry.test-corrupt").stringForKey("verbalift_email"), "fresh@example.com");
    EXPECT_TRUE(QFile::exists(file + ".corrupt")) << "the old file is not lost";
}

TEST(Defaults, AFailedWriteKeepsTheFileAndTheSessionKeepsTheValue) {
    const std::string bundle = "app.quillberry.test-full";
    const QString file = settingsFile(bundle);
    writeFile(file, "[General]\nverbalift_email=kept@example.com\n");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    qt::QtDefaults defaults(bundle);
    EXPECT_EQ(mode(file), 0600u) << "made private";

    // A full disk, as the kernel reports it: writes past a few bytes fail.
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit tiny = {16, before.rlim_max};
    setrlimit(RLIMIT_FSIZE, &tiny);
    defaults.setString("verbalift_email", "new@example.com");
    defaults.setBool("quillberry_onboarding_done", true);
    setrlimit(RLIMIT_FSIZE, &before);

    EXPECT_EQ(onDisk(file).toStdString(), "[General]\nverbalift_email=kept@example.com\n") << "a restart finds it";
    EXPECT_FALSE(QFile::exists(file + ".corrupt"));
    EXPECT_EQ(defaults.stringForKey("verbalift_email"), "new@example.com") << "the session goes on";
    EXPECT_TRUE(defaults.boolForKey("quillberry_onboarding_done"));
    defaults.removeObject("other");
    const QByteArray saved = onDisk(file);
    EXPECT_TRUE(saved.contains("verbalift_email=new@example.com") && saved.contains("quillberry_onboarding_done=true"))
        << "the next write saves it all: " << saved.toStdString();
    EXPECT_EQ(mode(file), 0600u);
    EXPECT_EQ(mode(QFileInfo(file).absolutePath()), 0700u);
}

TEST(Defaults, TheFolderAndTheFileArePrivateFromTheirFirstByte) {
    QTemporaryDir config;  // a new user's configuration, and a umask that hides nothing
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    const mode_t umask = ::umask(0);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit tiny = {16, before.rlim_max};  // the write fails once its file exists: no tightening after it
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tiny);
    qt::QtDefaults("app.quillberry.test-private").setString("verbalift_email", "me@example.com");
    setrlimit(RLIMIT_FSIZE, &before);
    ::umask(umask);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QDir::homePath() + "/.config");
    EXPECT_EQ(mode(config.filePath("quillberry")), 0700u);
    EXPECT_EQ(mode(config.filePath("quillberry/app.quillberry.test-private.ini")), 0600u);
}

TEST(Defaults, AKillMidWriteLeavesTheWholeOldValueOrTheWholeNewOne) {
    const QString bundle = "app.quillberry.test-killed", file = settingsFile(bundle.toStdString());
    for (int round = 1; round <= 5; ++round) {
        Child writer(QCoreApplication::applicationFilePath(), {"--write-settings-forever", bundle});
        for (int rewrites = 0; rewrites < round * 3; ++rewrites) {  // a different moment each round
            const QDateTime before = QFileInfo(file).lastModified();
            ASSERT_TRUE(waitFor([&] { return QFileInfo(file).lastModified() != before; }));
        }
        ::kill(pid_t(writer.processId()), SIGKILL);
        ASSERT_TRUE(writer.waitExit());
        const QByteArray text = onDisk(file), value = text.mid(text.indexOf('=') + 1).trimmed();
        EXPECT_TRUE(value == QByteArray(200'000, 'a') || value == QByteArray(200'000, 'b')) << "round " << round;
    }
    // A kill between Qt making its lock and writing its id into it: the next start must not wait 30 s for it.
    writeFile(file + ".lock", "");
    qt::QtDefaults next(bundle.toStdString());
    EXPECT_FALSE(QFile::exists(file + ".lock"));
}

}  // namespace
}  // namespace quillberry::testing

int writeSettingsForever(const char* bundleId) {
    quillberry::qt::QtDefaults defaults(bundleId);
    for (int i = 0;; ++i) defaults.setString("verbalift_email", std::string(200'000, i % 2 ? 'b' : 'a'));
}
