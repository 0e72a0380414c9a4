#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
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

}  // namespace
}  // namespace quillberry::testing
