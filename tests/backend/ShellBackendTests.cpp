#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

#include "Processes.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

TEST(Defaults, AnUnreadableFileReadsAsAbsentAndIsKeptAsideOnWrite) {
    const std::string bundle = "app.quillberry.test-corrupt";
    const QString file = QString::fromStdString(qt::QtDefaults(bundle).fileName());
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General\nverbalift_email=stale@example.com\n\x01\x02\xff\xfe garbage");
    }
    qt::QtDefaults defaults(bundle);
    EXPECT_EQ(defaults.stringForKey("verbalift_email"), std::nullopt);
    defaults.setString("verbalift_email", "fresh@example.com");
    EXPECT_EQ(qt::QtDefaults(bundle).stringForKey("verbalift_email"), "fresh@example.com");
    EXPECT_TRUE(QFile::exists(file + ".corrupt")) << "the old file is not lost";
}

TEST(InstanceLock, ALiveHolderCountsAndAKilledOneLeavesNothingBehind) {
    const std::string bundle = "app.quillberry.test-lock";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        char count = char('0' + qt::instanceCountByLock(bundle));
        [[maybe_unused]] auto n = write(ready[1], &count, 1);
        pause();
        _exit(0);
    }
    char holderCount = 0;
    ASSERT_EQ(read(ready[0], &holderCount, 1), 1);
    EXPECT_EQ(holderCount, '1');
    pid_t second = fork();
    if (second == 0) _exit(qt::instanceCountByLock(bundle));
    int status = 0;
    waitpid(second, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(qt::instanceCountByLock(bundle), 1);
}

}  // namespace
}  // namespace quillberry::testing
