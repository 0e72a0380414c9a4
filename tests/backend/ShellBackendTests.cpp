#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QTest>

#include "BackendSupport.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/QtStatusItem.h"

namespace quillberry::testing {
namespace {

TEST(Defaults, ValuesPersistAcrossInstancesAndRemovalsStick) {
    const std::string bundle = "app.quillberry.test-defaults";
    {
        qt::QtDefaults defaults(bundle);
        QFile::remove(QString::fromStdString(defaults.fileName()));
    }
    {
        qt::QtDefaults defaults(bundle);
        EXPECT_EQ(defaults.stringForKey("verbalift_email"), std::nullopt);
        EXPECT_FALSE(defaults.boolForKey("quillberry_onboarding_done"));
        defaults.setString("verbalift_email", "");
        defaults.setBool("quillberry_onboarding_done", true);
    }
    qt::QtDefaults next(bundle);
    EXPECT_EQ(next.stringForKey("verbalift_email"), std::optional<std::string>(""));
    EXPECT_TRUE(next.boolForKey("quillberry_onboarding_done"));
    next.removeObject("quillberry_onboarding_done");
    EXPECT_FALSE(qt::QtDefaults(bundle).boolForKey("quillberry_onboarding_done"));
}

TEST(Defaults, UnreadableFileReadsAsAbsentAndIsKeptAsideOnWrite) {
    const std::string bundle = "app.quillberry.test-corrupt";
    std::string file = qt::QtDefaults(bundle).fileName();
    QFile::remove(QString::fromStdString(file) + ".corrupt");
    {
        QFile f(QString::fromStdString(file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General\nverbalift_email=stale@example.com\n\x01\x02\xff\xfe garbage");
    }
    qt::QtDefaults defaults(bundle);
    EXPECT_EQ(defaults.stringForKey("verbalift_email"), std::nullopt);
    EXPECT_FALSE(defaults.boolForKey("quillberry_onboarding_done"));
    defaults.setString("verbalift_email", "fresh@example.com");
    EXPECT_EQ(qt::QtDefaults(bundle).stringForKey("verbalift_email"), "fresh@example.com");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(file) + ".corrupt")) << "the old file is not lost";
}

TEST(InstanceLock, CountsOtherLiveProcessesAndReclaimsAfterAKill) {
    const std::string bundle = "app.quillberry.test-lock-" + std::to_string(getpid());
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
    EXPECT_EQ(qt::instanceCountByLock(bundle), 1) << "a killed holder's lock is gone";
    EXPECT_EQ(qt::instanceCountByLock(bundle), 1) << "and we keep it";
    QFile::remove(QString::fromStdString(qt::lockPath(bundle)));
}

TEST(StatusItem, TitleIsDrawnIntoTheTrayIconAndTheMenuMirrorsTheModel) {
    qt::QtStatusItem item;
    QImage blank = item.tray().icon().pixmap(64, 64).toImage();
    item.button()->setTitle("...");
    QImage dots = item.tray().icon().pixmap(64, 64).toImage();
    EXPECT_NE(blank, dots);
    item.button()->setTitle("Q");
    EXPECT_NE(item.tray().icon().pixmap(64, 64).toImage(), dots);

    std::vector<std::string> performed;
    item.setMenu({{"Quillberry", "", ""}, MenuItem::separatorItem(), {"Se déconnecter", "logoutAction", ""},
                  {"Quitter", "quitApp", "q"}},
                 [&](const std::string& a) { performed.push_back(a); });
    QMenu* menu = item.menu();
    ASSERT_EQ(menu->actions().size(), 4);
    EXPECT_FALSE(menu->actions()[0]->isEnabled());
    EXPECT_TRUE(menu->actions()[1]->isSeparator());
    EXPECT_EQ(menu->actions()[3]->shortcut(), QKeySequence("Ctrl+Q"));
    EXPECT_EQ(item.tray().contextMenu(), menu);

    menu->popup(QPoint(100, 100));
    spinUntil([&] { return menu->isVisible(); });
    QTest::keyClick(menu, Qt::Key_Q, Qt::ControlModifier);
    spinUntil([&] { return !performed.empty(); });
    EXPECT_EQ(performed, std::vector<std::string>{"quitApp"});
    EXPECT_FALSE(menu->isVisible());
    menu->actions()[2]->trigger();
    spinUntil([&] { return performed.size() == 2; });
    EXPECT_EQ(performed.back(), "logoutAction");
}

}  // namespace
}  // namespace quillberry::testing
