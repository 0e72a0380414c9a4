#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTest>
#include <QTimer>

#include "Processes.h"
#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

// Runs the alert modally, as the app does, while `act` works the open dialog.
AlertAnswer runWith(const AlertSpec& spec, std::function<void(qt::AlertDialog&)> act) {
    QTimer::singleShot(0, [act] {
        waitFor([] { return QApplication::activeModalWidget() != nullptr; });
        act(*dynamic_cast<qt::AlertDialog*>(QApplication::activeModalWidget()));
    });
    return qt::QtAlerts().runModal(spec);
}

TEST(Alerts, ADismissedDialogNeverCountsAsItsFirstChoice) {
    AlertSpec spec;
    spec.buttons = {"Activer", "Annuler"};
    EXPECT_EQ(runWith(spec, [](qt::AlertDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }).response, 1001);
    EXPECT_EQ(runWith(spec, [](qt::AlertDialog& d) { d.close(); }).response, 1001);
    spec.buttons = {};
    AlertAnswer answer = runWith(spec, [](qt::AlertDialog& d) {
        EXPECT_EQ(d.buttons().size(), 1u) << "one acknowledgement";
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_EQ(answer.response, 1000);
}

TEST(Alerts, AHugeOneLineReplyIsShownWholeInParagraphsQtCanLayOutLazily) {
    AlertSpec spec;
    std::string text = std::string(999, 'A') + "\xF0\x9F\x9A\x80" + std::string(3'000'000, 'B') + " end";
    spec.resultViewer = ResultViewerAccessory{text};
    runWith(spec, [&](qt::AlertDialog& d) {
        auto* viewer = d.findChild<QPlainTextEdit*>("resultViewer");
        QString shown = viewer->toPlainText();
        EXPECT_GT(viewer->document()->blockCount(), 3000);
        for (QTextBlock b = viewer->document()->begin(); b.isValid(); b = b.next()) {
            EXPECT_LE(b.length(), 1001);
            EXPECT_FALSE(b.text().front().isLowSurrogate());
        }
        EXPECT_EQ(shown.remove('\n').toStdString(), text);
        d.close();
    });
}

}  // namespace
}  // namespace quillberry::testing
