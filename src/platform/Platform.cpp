#include "platform/Platform.h"

#include <cassert>
#include <cctype>

namespace quillberry {

namespace {
Platform* installed = nullptr;
}

Platform& platform() {
    assert(installed && "installPlatform must run before the core touches the machine");
    return *installed;
}

void installPlatform(Platform* p) { installed = p; }

bool Workspace::isValidUrl(const std::string& text) {
    // scheme ":" followed by something, with no character a URL may not hold raw.
    auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size()) return false;
    for (size_t i = 0; i < colon; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool ok = std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c == 0x7f || c == '"' || c == '<' || c == '>' || c == '\\' ||
            c == '^' || c == '`' || c == '{' || c == '|' || c == '}')
            return false;
    }
    return true;
}

}  // namespace quillberry
