#include <gtest/gtest.h>

#include <QFile>

#include "Processes.h"
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

}  // namespace
}  // namespace quillberry::testing
