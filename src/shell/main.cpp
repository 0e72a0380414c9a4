// Process entry. `quillberry --trigger` is answered here, without the toolkit: it is what a
// desktop shortcut runs at each press, and loading Qt alone takes tens of milliseconds. So are
// --help and --version, which must answer whether or not an instance runs. The app itself is
// a private library, loaded only to run it.

#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "config/Constants.h"
#include "config/Keys.h"
#include "platform/qt/InstanceLock.h"

namespace {
void printHelp() {
    const std::string keys = quillberry::withPrimaryModifier(quillberry::DEFAULT_SHORTCUT_KEY);
    std::printf(
        "Utilisation : quillberry [--trigger | --help | --version]\n\n"
        "Quillberry vit dans la barre d'état. Copie un texte, appuie sur %s : le prompt amélioré\n"
        "est dans le presse-papier. Le raccourci se change depuis le menu de l'icône.\n\n"
        "  --trigger   fait ce que fait le raccourci, dans le Quillberry qui tourne\n"
        "  --help      affiche cette aide\n"
        "  --version   affiche la version\n",
        keys.c_str());
}
}  // namespace

int main(int argc, char** argv) {
    using namespace quillberry;
    const std::string_view option = argc == 2 ? argv[1] : "";
    if (option == "--trigger") return qt::sendTrigger(std::string(BUNDLE_ID));
    if (option == "--help") return printHelp(), 0;
    if (option == "--version") return std::printf("quillberry %s\n", std::string(VERSION).c_str()), 0;
    // Found through this executable's run path: beside it in the build tree, in its private
    // folder once installed.
    void* library = ::dlopen(QUILLBERRY_APP_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    auto* run = library ? reinterpret_cast<int (*)(int, char**)>(::dlsym(library, "quillberryRun")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "quillberry : installation incomplète (%s). Réinstalle Quillberry.\n", ::dlerror());
        return 1;
    }
    return run(argc, argv);
}
