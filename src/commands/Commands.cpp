// The menu commands beside the main job: instructions, support, automatic mode.

#include "account/Preferences.h"
#include "flow/Clipboard.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Platform.h"
#include "shell/AppDelegate.h"
#include "shell/Constants.h"

namespace quillberry {

void AppDelegate::showHelp() {
    // From here the onboarding counts as not done: closing it early brings it back at
    // the next launch, exactly as on a first run.
    clearOnboardingDone();
    showOnboarding([](const std::optional<std::string>&) {});
}

void AppDelegate::openSupport() {
    const std::string url(SUPPORT_URL);
    if (!Workspace::isValidUrl(url)) return;
    platform().workspace().openUrl(url);
}

void AppDelegate::enableAutoMode() {
    bool trusted = AXIsProcessTrusted();
    AlertSpec alert;
    alert.style = ALERT_STYLE_INFORMATIONAL;
    if (trusted) {
        alert.messageText = "Mode automatique déjà activé";
        alert.informativeText =
            "Sélectionne du texte et appuie sur Cmd+U. Quillberry capturera automatiquement ta sélection.";
        platform().alerts().runModal(alert);
        return;
    }
    alert.messageText = "Mode automatique";
    alert.informativeText =
        "Par défaut, Quillberry te demande de copier ton texte (Cmd+C) avant d'appuyer sur Cmd+U.\n\n"
        "Le mode automatique te permet d'améliorer ton texte en un seul raccourci, sans copier "
        "d'abord. Pour ça, macOS va te demander d'accorder la permission d'accessibilité à "
        "Quillberry.\n\n"
        "Tu peux activer ou retirer cette permission à tout moment dans les Réglages Système.";
    alert.buttons = {"Activer", "Annuler"};
    if (platform().alerts().runModal(alert).response == ALERT_FIRST_BUTTON_RETURN) {
        AXIsProcessTrustedWithOptions(/*prompt=*/true);
    }
}

}  // namespace quillberry
