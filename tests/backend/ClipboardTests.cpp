#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QStandardPaths>

#include "Processes.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

struct Clipboard : ::testing::Test {
    qt::Session session;
    qt::QtClipboard clipboard{session, "app.quillberry.test"};
    static std::string read(const QString& selection, const QString& type) {
        return run("xclip", {"-selection", selection, "-t", type, "-o"}).toStdString();
    }
};

TEST_F(Clipboard, ReplacingLeavesOnePlainItemWhateverWasThere) {
    auto* image = new QMimeData;
    image->setData("image/png", "not read");
    QGuiApplication::clipboard()->setMimeData(image);
    clipboard.replaceWithString("");
    std::string targets;
    EXPECT_TRUE(
        waitFor([&] { return (targets = read("clipboard", "TARGETS")).find("UTF8_STRING") != std::string::npos; }));
    EXPECT_EQ(targets.find("image/png"), std::string::npos) << targets;
    EXPECT_EQ(clipboard.stringForType(), "");
}

// (A selection copied: the desktop round's automatic mode.)
TEST_F(Clipboard, WithNothingSelectedSelectionCopyLeavesTheClipboardEmpty) {
    QGuiApplication::clipboard()->setText("ours", QClipboard::Selection);
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
    clipboard.clearContents();
    clipboard.copySelection();
    EXPECT_EQ(clipboard.stringForType(), std::nullopt);
}

TEST_F(Clipboard, AutomaticModeIsGrantedOnlyAfterTheUserAsksAndWithdrawnByDeletingTheFile) {
    const QString grant = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                          "/quillberry/app.quillberry.test.automatic-mode";
    EXPECT_FALSE(clipboard.isProcessTrusted());
    EXPECT_FALSE(clipboard.isProcessTrustedWithPrompt()) << "the answer at the request is still no";
    EXPECT_TRUE(qt::QtClipboard(session, "app.quillberry.test").isProcessTrusted()) << "kept across launches";
    ASSERT_TRUE(QFile::remove(grant));
    EXPECT_FALSE(clipboard.isProcessTrusted());
}

}  // namespace
}  // namespace quillberry::testing
