// Process entry: the Qt application, the real platform, then the portable core.

#include <QApplication>
#include <QIcon>

#include "platform/qt/QtPlatform.h"
#include "shell/Constants.h"
#include "shell/Entry.h"

int main(int argc, char** argv) {
    quillberry::qt::silenceQtMessages();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillberry");
    QApplication::setDesktopFileName(QString::fromUtf8(quillberry::BUNDLE_ID.data(), int(quillberry::BUNDLE_ID.size())));
    // A status-bar app: closing the onboarding or a notice must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    quillberry::qt::installTerminationHandler();

    quillberry::qt::QtPlatform platform{std::string(quillberry::BUNDLE_ID)};
    // Alerts of the platform's default style show the app's own icon.
    if (auto icon = platform.resources().pathForResource("menubar_icon", "png")) {
        QApplication::setWindowIcon(QIcon(QString::fromStdString(*icon)));
    }
    int status = quillberry::applicationMain();
    quillberry::delegate.reset();  // the tray icon goes before the application object
    return status;
}
