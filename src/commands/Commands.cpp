#include "commands/Commands.h"

#include <cstring>

#include "account/Preferences.h"
#include "config/Constants.h"
#include "flow/Clipboard.h"
#include "hotkey/Shortcut.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Alerts.h"
#include "platform/Http.h"
#include "platform/Pasteboard.h"
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

namespace {
// One line that says what the user's answer did.
void sayInOneLine(const std::string& line) {
    AlertSpec notice;
    notice.style = AlertStyle::Informational;
    notice.messageText = line;
    platform().alerts().runModal(notice);
}
}  // namespace

// No system permission guards the selection here: the mode is the user's own choice, which
// the user also takes back from here.
void offerAutomaticMode() {
    AlertSpec alert;
    alert.style = AlertStyle::Informational;
    if (AXIsProcessTrusted()) {
        alert.messageText = "Mode automatique déjà activé";
        alert.informativeText = "Sélectionne du texte et appuie sur " + shortcutText() +
                                ". Quillberry capturera automatiquement ta sélection.";
        alert.buttons = {"OK", "Désactiver"};
        if (platform().alerts().runModal(alert).response == ALERT_FIRST_BUTTON_RETURN + 1) {
            platform().accessibility().withdrawTrust();
            sayInOneLine("Mode automatique désactivé.");
        }
        return;
    }
    alert.messageText = "Mode automatique";
    alert.informativeText =
        "Par défaut, Quillberry te demande de copier ton texte (" + withPrimaryModifier("C") +
        ") avant d'appuyer sur " + shortcutText() +
        ".\n\n"
        "Le mode automatique te permet d'améliorer ton texte en un seul raccourci, sans copier d'abord : quand tu "
        "appuies sur " +
        shortcutText() +
        ", Quillberry prend le texte sélectionné à ce moment-là, et rien d'autre.\n\n"
        "Tu peux le désactiver à tout moment depuis ce même menu.";
    alert.buttons = {"Activer", "Annuler"};
    if (platform().alerts().runModal(alert).response != ALERT_FIRST_BUTTON_RETURN) return;
    AXIsProcessTrustedWithOptions(/*prompt=*/true);
    // Said only once it holds: a desktop that lets no program read the selection keeps the
    // copy-first way.
    sayInOneLine(AXIsProcessTrusted() ? "Mode automatique activé."
                                      : "Le mode automatique n'est pas disponible sur ce bureau.");
}

}  // namespace quillberry
