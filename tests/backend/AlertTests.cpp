#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "BackendSupport.h"
#include "flow/Notices.h"
#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtPlatform.h"

namespace quillberry::testing {
namespace {

// Runs the alert modally, as the app does, and lets `inspect` look at the open dialog
// and answer it.
AlertAnswer runAndInspect(const AlertSpec& spec, std::function<void(qt::AlertDialog&)> inspect) {
    QTimer::singleShot(0, [inspect] {
        spinUntil([] { return QApplication::activeModalWidget() != nullptr; });
        auto* dialog = dynamic_cast<qt::AlertDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        inspect(*dialog);
    });
    return qt::QtAlerts().runModal(spec);
}

QString labelText(QWidget& dialog, const char* name) {
    auto* label = dialog.findChild<QLabel*>(name);
    return label ? label->text() : QString("<none>");
}

TEST(Alerts, EmailPromptHasItsFieldButtonsAndDefault) {
    AlertSpec spec;
    spec.messageText = "Connexion à Quillberry";
    spec.informativeText = "Entre l'email utilisé pour ton abonnement.";
    spec.buttons = {"Continuer", "Annuler"};
    spec.textField = TextFieldAccessory{300, 24, "Email"};
    AlertAnswer answer = runAndInspect(spec, [](qt::AlertDialog& d) {
        EXPECT_EQ(labelText(d, "messageText"), "Connexion à Quillberry");
        EXPECT_TRUE(d.findChild<QLabel*>("messageText")->font().bold());
        EXPECT_EQ(labelText(d, "informativeText"), "Entre l'email utilisé pour ton abonnement.");
        ASSERT_NE(d.field(), nullptr);
        EXPECT_EQ(d.field()->size(), QSize(300, 24));
        EXPECT_EQ(d.field()->placeholderText(), "Email");
        EXPECT_EQ(d.field()->text(), "");
        ASSERT_EQ(d.buttons().size(), 2u);
        EXPECT_EQ(d.buttons()[0]->text(), "Continuer");
        EXPECT_TRUE(d.buttons()[0]->isDefault());
        EXPECT_GT(d.buttons()[0]->x(), d.buttons()[1]->x()) << "first button rightmost";
        QTest::keyClicks(d.field(), "me@example.com");
        QTest::keyClick(d.field(), Qt::Key_Return);  // Return answers the default button
    });
    EXPECT_EQ(answer.response, 1000);
    EXPECT_EQ(answer.fieldText, "me@example.com");
}

TEST(Alerts, EscapeAnswersAnnuler) {
    AlertSpec spec;
    spec.messageText = "Mode automatique";
    spec.buttons = {"Activer", "Annuler"};
    AlertAnswer answer = runAndInspect(spec, [](qt::AlertDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    EXPECT_EQ(answer.response, 1001);
}

TEST(Alerts, NoticeWithoutButtonsShowsOneAcknowledgement) {
    AlertSpec spec;
    spec.messageText = "Déconnecté";
    spec.informativeText = "Ton email a été supprimé.";
    AlertAnswer answer = runAndInspect(spec, [](qt::AlertDialog& d) {
        ASSERT_EQ(d.buttons().size(), 1u);
        EXPECT_TRUE(d.buttons()[0]->isDefault());
        d.buttons()[0]->click();
    });
    EXPECT_EQ(answer.response, 1000);
}

TEST(Alerts, SuccessNoticeShowsAReadOnlySelectableViewer) {
    const std::string prompt = "Ligne 1\n" + std::string(3000, 'x');
    AlertAnswer answer = runAndInspect(successNotice(prompt), [&](qt::AlertDialog& d) {
        auto* viewer = d.findChild<QPlainTextEdit*>("resultViewer");
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(viewer->size(), QSize(420, 180));
        EXPECT_TRUE(viewer->isReadOnly());
        EXPECT_TRUE(viewer->textInteractionFlags() & Qt::TextSelectableByMouse);
        EXPECT_EQ(viewer->font().pixelSize(), 13);
        EXPECT_EQ(viewer->document()->documentMargin(), 8);
        EXPECT_EQ(viewer->toPlainText().toStdString(), prompt);
        EXPECT_EQ(d.findChild<QLabel*>("informativeText"), nullptr);
        ASSERT_EQ(d.buttons().size(), 1u);
        EXPECT_EQ(d.buttons()[0]->text(), "Coller (Cmd+V)");
        QTest::keyClick(&d, Qt::Key_Return);
    });
    EXPECT_EQ(answer.response, 1000);
}

TEST(Alerts, StylesPickDifferentIcons) {
    auto iconOf = [](const AlertSpec& spec) {
        QImage image;
        runAndInspect(spec, [&](qt::AlertDialog& d) {
            image = d.findChild<QLabel*>("alertIcon")->pixmap().toImage();
            d.buttons()[0]->click();
        });
        return image;
    };
    EXPECT_NE(iconOf(failureNotice()), iconOf(emptyTextNotice(false)));
}

}  // namespace
}  // namespace quillberry::testing
