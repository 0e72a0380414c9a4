#include "platform/Platform.h"

#include <cassert>

namespace quillberry {

namespace {
Platform* installed = nullptr;
}

Platform& platform() {
    assert(installed && "installPlatform must run before the core touches the machine");
    return *installed;
}

void installPlatform(Platform* p) { installed = p; }

}  // namespace quillberry
