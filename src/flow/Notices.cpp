#include "flow/Notices.h"

#include "hotkey/Shortcut.h"

namespace quillberry {

AlertSpec emptyTextNotice(bool automatic) {
    AlertSpec notice;
    notice.style = AlertStyle::Informational;
    if (automatic) {
        notice.messageText = "Aucun texte sélectionné";
        notice.informativeText = "Sélectionne du texte puis appuie sur " + shortcutText() + ".";
    } else {
        notice.messageText = "Presse-papier vide";
        notice.informativeText =
            "Copie d'abord ton prompt avec " + withPrimaryModifier("C") + ", puis appuie sur " + shortcutText() + ".";
    }
    notice.buttons = {"Compris"};
    return notice;
}

AlertSpec successNotice(const std::string& improvedPrompt) {
    AlertSpec notice;
    notice.style = AlertStyle::Informational;
    notice.messageText = "Prompt optimisé - copié dans le presse-papier";
    notice.resultViewer = ResultViewerAccessory{improvedPrompt};
    notice.buttons = {"Coller (" + withPrimaryModifier("V") + ")"};
    return notice;
}

AlertSpec failureNotice(bool localServiceDown) {
    AlertSpec notice;
    notice.style = AlertStyle::Critical;
    notice.messageText = "Échec de l'optimisation";
    notice.informativeText = localServiceDown ? "Le service d'optimisation de cet ordinateur ne tourne pas. Démarre-le "
                                                "avec la commande :\n\nsudo systemctl start quillberry-service\n\n"
                                                "puis réessaie."
                                              : "Vérifie ta connexion et réessaie.";
    notice.buttons = {"OK"};
    return notice;
}

namespace {
// In mebibytes, as "1,5 Mo", rounded up: a text just over the limit never reads as equal to it.
std::string megabytes(std::size_t bytes) {
    const std::size_t tenths = (bytes * 10 + (std::size_t(1) << 20) - 1) >> 20;
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10) text.append(",").append(std::to_string(tenths % 10));
    return text + " Mo";
}
}  // namespace

AlertSpec tooLongNotice(std::size_t textBytes, std::size_t limitBytes) {
    AlertSpec notice;
    notice.style = AlertStyle::Critical;
    notice.messageText = "Texte trop long";
    notice.informativeText = "Ton texte fait " + megabytes(textBytes) + " ; Quillberry en envoie au plus " +
                             megabytes(limitBytes) + ". Raccourcis-le puis réessaie.";
    notice.buttons = {"OK"};
    return notice;
}

}  // namespace quillberry
