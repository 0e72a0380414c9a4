#include <gtest/gtest.h>

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>

#include "BackendSupport.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

QByteArray pngBytes() {
    // The smallest valid PNG: one transparent pixel.
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==");
}

struct Clipboard : ::testing::Test {
    qt::QtClipboard clipboard{"app.quillberry.test"};
    static std::string xclipOut(const std::string& selection, const QString& type = "UTF8_STRING") {
        return runServing("xclip", {"-selection", QString::fromStdString(selection), "-t", type, "-o"});
    }
    static void xclipSet(const std::string& selection, const QByteArray& data, const QString& type = "UTF8_STRING") {
        runServing("xclip", {"-selection", QString::fromStdString(selection), "-t", type, "-i"}, data);
        spinUntil([&] { return !xclipOut(selection, "TARGETS").empty(); }, 2000);
    }
};

TEST_F(Clipboard, PlainTextRoundTrip) {
    xclipSet("clipboard", "héllo \xF0\x9F\x9A\x80\n");
    EXPECT_EQ(clipboard.stringForType(), "héllo \xF0\x9F\x9A\x80\n");
    clipboard.replaceWithString("wörld");
    EXPECT_EQ(xclipOut("clipboard"), "wörld");
}

TEST_F(Clipboard, ImageOnlyIsAbsent) {
    xclipSet("clipboard", pngBytes(), "image/png");
    EXPECT_EQ(clipboard.stringForType(), std::nullopt);
}

TEST_F(Clipboard, RichTextYieldsItsPlainAlternative) {
    // Another process offers HTML beside plain text, as editors do.
    QProcess owner;
    owner.start(QCoreApplication::applicationFilePath(), {"--own-rich-clipboard"});
    ASSERT_TRUE(owner.waitForReadyRead(5000));
    // The owner change reaches us as an X event; the app's loop would have seen it.
    spinUntil([&] { return clipboard.stringForType().has_value(); }, 2000);
    EXPECT_EQ(clipboard.stringForType(), "plain words");
    owner.kill();
    owner.waitForFinished();
}

TEST_F(Clipboard, ReplacingLeavesOnePlainItem) {
    xclipSet("clipboard", pngBytes(), "image/png");
    for (int i = 0; i < 2; ++i) {
        clipboard.replaceWithString("");
        std::string targets = xclipOut("clipboard", "TARGETS");
        EXPECT_EQ(targets.find("image/png"), std::string::npos) << targets;
        EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;
        EXPECT_EQ(clipboard.stringForType(), "");
    }
}

TEST_F(Clipboard, SelectionCopyTakesPrimaryOrLeavesTheClipboardEmpty) {
    xclipSet("primary", "selected words");
    clipboard.clearContents();
    clipboard.copySelection();
    EXPECT_EQ(xclipOut("clipboard"), "selected words");

    // No selection anywhere: after the flow's clear, nothing lands.
    QGuiApplication::clipboard()->setText("ours", QClipboard::Selection);
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
    clipboard.clearContents();
    clipboard.copySelection();
    EXPECT_EQ(clipboard.stringForType(), std::nullopt);
}

TEST_F(Clipboard, AutomaticModeIsGrantedOnlyAfterTheUserAsks) {
    ASSERT_TRUE(QGuiApplication::clipboard()->supportsSelection());
    // Withdrawn the way the README tells users: by deleting the grant file.
    const QString grant = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                          "/quillberry/app.quillberry.test.automatic-mode";
    QFile::remove(grant);
    EXPECT_FALSE(clipboard.isProcessTrusted());
    EXPECT_FALSE(clipboard.isProcessTrustedWithPrompt()) << "the answer at the request is still no";
    EXPECT_TRUE(clipboard.isProcessTrusted());
    qt::QtClipboard again{"app.quillberry.test"};
    EXPECT_TRUE(again.isProcessTrusted()) << "kept across launches, like a system permission";
    ASSERT_TRUE(QFile::remove(grant));
    EXPECT_FALSE(again.isProcessTrusted());
}

}  // namespace
}  // namespace quillberry::testing
