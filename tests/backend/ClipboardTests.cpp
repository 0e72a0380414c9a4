#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QStandardPaths>

#include "BackendSupport.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

struct Clipboard : ::testing::Test {
    qt::QtClipboard clipboard{"app.quillberry.test"};
    static std::string xclip(const QString& selection, const QString& type, const QByteArray& input = {}) {
        QStringList args{"-selection", selection, "-t", type, input.isNull() ? "-o" : "-i"};
        std::string out = runServing("xclip", args, input);
        if (!input.isNull()) spinUntil([&] { return !xclip(selection, "TARGETS").empty(); }, 2000);
        return out;
    }
};

TEST_F(Clipboard, AnImageIsNoTextAndReplacingLeavesOnePlainItem) {
    // The smallest valid PNG: one transparent pixel.
    xclip("clipboard", "image/png", QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQV"
                                                           "R42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg=="));
    EXPECT_EQ(clipboard.stringForType(), std::nullopt);
    clipboard.replaceWithString("");
    std::string targets = xclip("clipboard", "TARGETS");
    EXPECT_EQ(targets.find("image/png"), std::string::npos) << targets;
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
    EXPECT_EQ(clipboard.stringForType(), "");
}

TEST_F(Clipboard, SelectionCopyTakesPrimaryOrLeavesTheClipboardEmpty) {
    xclip("primary", "UTF8_STRING", "selected words");
    clipboard.clearContents();
    clipboard.copySelection();
    EXPECT_EQ(xclip("clipboard", "UTF8_STRING"), "selected words");

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
    EXPECT_TRUE(qt::QtClipboard("app.quillberry.test").isProcessTrusted()) << "kept across launches";
    ASSERT_TRUE(QFile::remove(grant));
    EXPECT_FALSE(clipboard.isProcessTrusted());
}

}  // namespace
}  // namespace quillberry::testing
