#include "commands/Commands.h"

#include <cstring>

#include "account/Preferences.h"
#include "config/Constants.h"
#include "flow/Clipboard.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Alerts.h"
#include "platform/Http.h"
#include "platform/Platform.h"

namespace quillberry {

bool isValidUrl(const std::string& text) {
    // A web link with a host: anything else handed to the desktop could start another program
    // (file:, a custom scheme), and a user name before the host would make one look like another.
    constexpr size_t MAX_LENGTH = 2048;
    size_t start = 0;
    for (const char* scheme : {"https://", "http://"}) {
        if (text.compare(0, std::strlen(scheme), scheme) == 0) start = std::strlen(scheme);
    }
    const size_t hostEnd = text.find_first_of("/?#", start);
    const std::string authority =
        text.substr(start, hostEnd == std::string::npos ? std::string::npos : hostEnd - start);
    if (start == 0 || text.size() > MAX_LENGTH || authority.empty() || authority.find('@') != std::string::npos) {
        return false;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f || std::strchr("\"<>\\^`{|}", c)) return false;
    }
    return true;
}

void openInstructions() {
    // From here the onboarding counts as not done: closing it early brings it back at
    // the next launch, exactly as on a first run.
    clearOnboardingDone();
    showOnboarding([](const std::optional<std::string>&) {});
}

void openSupportLink() {
    const std::string url(SUPPORT_URL);
    if (!isValidUrl(url)) return;
    platform().workspace().openUrl(url);
}

void offerAutomaticMode() {
    AlertSpec alert;
    alert.style = AlertStyle::Informational;
    if (AXIsProcessTrusted()) {
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
