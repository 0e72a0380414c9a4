#include "flow/Notices.h"

namespace quillberry {

AlertSpec emptyTextNotice(bool automatic) {
    AlertSpec notice;
    notice.style = AlertStyle::Informational;
    if (automatic) {
        notice.messageText = "Aucun texte sélectionné";
        notice.informativeText = "Sélectionne du texte puis appuie sur Cmd+U.";
    } else {
        notice.messageText = "Presse-papier vide";
        notice.informativeText = "Copie d'abord ton prompt avec Cmd+C, puis appuie sur Cmd+U.";
    }
    notice.buttons = {"Compris"};
    return notice;
}

AlertSpec successNotice(const std::string& improvedPrompt) {
    AlertSpec notice;
    notice.style = AlertStyle::Informational;
    notice.messageText = "Prompt optimisé - copié dans le presse-papier";
    notice.resultViewer = ResultViewerAccessory{improvedPrompt};
    notice.buttons = {"Coller (Cmd+V)"};
    return notice;
}

AlertSpec failureNotice() {
    AlertSpec notice;
    notice.style = AlertStyle::Critical;
    notice.messageText = "Échec de l'optimisation";
    notice.informativeText = "Vérifie ta connexion et réessaie.";
    notice.buttons = {"OK"};
    return notice;
}

}  // namespace quillberry
