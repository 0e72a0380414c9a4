#include "onboarding/Step.h"

namespace quillberry {

const std::vector<Step>& onboardingSteps() {
    static const std::vector<Step> steps = {
        {"Q", "Bienvenue sur Quillberry",
         "Optimise tes prompts en un raccourci.\nCopie ton texte avec Cmd+C, appuie sur Cmd+U,\n"
         "et obtiens un prompt amélioré instantanément.",
         "Suivant", false, false},
        {"", "Connecte-toi", "Entre l'email utilisé pour ton abonnement.", "Continuer", true, true},
        {"", "C'est prêt !", "1. Copie ton prompt avec Cmd+C\n2. Appuie sur Cmd+U\n3. Colle le résultat avec Cmd+V",
         "Commencer", false, false},
    };
    return steps;
}

}  // namespace quillberry
