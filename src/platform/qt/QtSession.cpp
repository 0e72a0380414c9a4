#include <QApplication>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtPlatform.h"
#include "platform/wayland/DataControl.h"

namespace quillberry::qt {

namespace {
// A panel started at login beside the app may take a few seconds to offer its tray.
constexpr int TRAY_GRACE_MS = 5000;

void showNoticeWhenIdleAfter(int delayMs, const QString& title, const QString& text) {
    QTimer::singleShot(delayMs, qApp, [title, text] {
        if (QApplication::activeModalWidget()) return showNoticeWhenIdleAfter(500, title, text);
        AlertSpec spec;
        spec.style = AlertStyle::Informational;
        spec.messageText = title.toStdString();
        spec.informativeText = text.toStdString();
        spec.buttons = {"Compris"};
        QtAlerts().runModal(spec);
    });
}
}  // namespace

// Posted, so it never runs inside its caller; and never one dialog over another: a notice
// that comes while another is open waits its turn.
void showNoticeWhenIdle(const QString& title, const QString& text) { showNoticeWhenIdleAfter(0, title, text); }

Session::Session(bool dataControl)
    : wayland(qEnvironmentVariable("XDG_SESSION_TYPE") == "wayland" || qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
    // Only a session that names its compositor: without WAYLAND_DISPLAY the library would try
    // a default socket, which on an X11 desktop may belong to someone else's session.
    if (!dataControl || !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) return;
    dataControl_ = wayland::DataControl::connect();
    if (!dataControl_) return;
    notifier_ = std::make_unique<QSocketNotifier>(dataControl_->fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        dataControl_->dispatch();
        if (!dataControl_->usable()) notifier_->setEnabled(false);
    });
}

Session::~Session() = default;

wayland::DataControl* Session::dataControl() const {
    return dataControl_ && dataControl_->usable() ? dataControl_.get() : nullptr;
}

QString Session::limits() const {
    QStringList lacks;
    if (wayland && !portal) lacks << QStringLiteral("raccourci : quillberry --trigger");
    if (wayland && !dataControl()) lacks << QStringLiteral("presse-papier par une fenêtre");
    return lacks.join(QStringLiteral(", "));
}

void tellSessionLimits(const Session& session) {
    if (!session.wayland) return;
    if (!session.dataControl()) {
        showNoticeWhenIdle("Presse-papier par une fenêtre",
                           "Ce bureau ne laisse pas Quillberry lire le presse-papier en arrière-plan. À chaque "
                           "raccourci, une petite fenêtre s'ouvre avec le texte copié : valide-la avec Entrée. Le "
                           "prompt amélioré est copié quand tu fermes le message qui l'affiche.\n\n"
                           "Le mode automatique n'est pas disponible sur ce bureau.");
    }
}

// On X11 too: GNOME on Xorg without its extension and bare window managers show no tray, and
// the app would run with nothing on screen.
void tellWhenNoTray(QObject* context, std::function<bool()> shown) {
    QTimer::singleShot(TRAY_GRACE_MS, context, [shown = std::move(shown)] {
        if (shown()) return;
        showNoticeWhenIdle("Icône de Quillberry invisible",
                           "Ce bureau n'affiche pas les icônes de la barre d'état : le menu de Quillberry n'y "
                           "apparaît pas. Sur GNOME, installe l'extension « AppIndicator and KStatusNotifierItem "
                           "Support » puis relance Quillberry ; avec un autre gestionnaire de fenêtres, lance un "
                           "panneau qui les affiche (par exemple le paquet stalonetray).\n\nQuillberry fonctionne "
                           "quand même : copie un texte puis utilise ton raccourci.");
    });
}

}  // namespace quillberry::qt
