#include "onboarding/Step.h"

#include "hotkey/Shortcut.h"

namespace quillberry {

std::vector<Step> onboardingSteps() {
    const std::string copy = withPrimaryModifier("C"), paste = withPrimaryModifier("V"), press = shortcutText();
    return {
        {"Q", "Bienvenue sur Quillberry",
         "Optimise tes prompts en un raccourci.\nCopie ton texte avec " + copy + ", appuie sur " + press +
             ",\net obtiens un prompt amélioré instantanément.",
         "Suivant", false, false},
        {"", "Connecte-toi", "Entre l'email utilisé pour ton abonnement.", "Continuer", true, true},
        {"", "C'est prêt !",
         "1. Copie ton prompt avec " + copy + "\n2. Appuie sur " + press + "\n3. Colle le résultat avec " + paste,
         "Commencer", false, false},
    };
}

}  // namespace quillberry
