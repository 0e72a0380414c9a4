// Process entry. `quillberry --trigger` is answered here, without the toolkit: it is what a
// desktop shortcut runs at each press, and loading Qt alone takes tens of milliseconds. The
// app itself is a private library, loaded only to run it.

#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "config/Constants.h"
#include "platform/qt/InstanceLock.h"

int main(int argc, char** argv) {
    using namespace quillberry;
    if (argc == 2 && std::string_view(argv[1]) == "--trigger") return qt::sendTrigger(std::string(BUNDLE_ID));
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
