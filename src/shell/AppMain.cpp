// The app, Qt and all, run by the `quillberry` launcher (main.cpp) from its private library:
// the Qt application, the real platform, then the portable core.

#include <xcb/xcb.h>
#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "config/Constants.h"
#include "platform/StatusBar.h"
#include "platform/qt/QtPlatform.h"
#include "shell/Entry.h"

namespace {
// Without a display Qt ends the process with abort(), which reads as a crash. A platform the
// caller chose (QT_QPA_PLATFORM) and a Wayland display are left to Qt.
bool displayReachable() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) return true;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = !xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    return reached;
}
}  // namespace

extern "C" __attribute__((visibility("default"))) int quillberryRun(int argc, char** argv) {
    using namespace quillberry;
    if (!displayReachable()) {
        std::fprintf(stderr,
                     "quillberry : aucun affichage graphique (DISPLAY ou WAYLAND_DISPLAY). Lance Quillberry depuis "
                     "ta session de bureau.\n");
        return 1;
    }
    qt::silenceQtMessages();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillberry");
    // The desktop entry's name without ".desktop", which is also the app id on Wayland: every
    // Qt from 6.4 on passes it as it is.
    QApplication::setDesktopFileName(QString::fromUtf8(APP_ID.data(), qsizetype(APP_ID.size())));
    qt::carryOverAutostartOverride(std::string(BUNDLE_ID), std::string(APP_ID));
    // A status-bar app: closing the onboarding or a notice must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    qt::installTerminationHandler();

    bool dataControl = true;
#ifdef QUILLBERRY_TEST_NO_DATA_CONTROL
    dataControl = false;  // a build for the tests of a desktop without it, on one that has it
#endif
    qt::QtPlatform platform{std::string(BUNDLE_ID), {}, dataControl};
    // Alerts of the platform's default style show the app's own icon.
    if (auto icon = platform.resources().pathForResource("menubar_icon", "png")) {
        QApplication::setWindowIcon(QIcon(QString::fromStdString(*icon)));
    }
    int status = applicationMain();
    delegate.reset();  // the tray icon goes before the application object
    return status;
}
