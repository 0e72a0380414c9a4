#include "flow/Clipboard.h"

#include "platform/Pasteboard.h"
#include "platform/Platform.h"

namespace quillberry {

std::optional<std::string> getClipboard() { return platform().pasteboard().stringForType(); }
void setClipboard(const std::string& text) { platform().pasteboard().replaceWithString(text); }
void clearClipboard() { platform().pasteboard().clearContents(); }
void simulateCopy() { platform().selectionCopy().copySelection(); }

bool AXIsProcessTrusted() { return platform().accessibility().isProcessTrusted(); }

bool AXIsProcessTrustedWithOptions(bool prompt) {
    Accessibility& accessibility = platform().accessibility();
    return prompt ? accessibility.isProcessTrustedWithPrompt() : accessibility.isProcessTrusted();
}

}  // namespace quillberry
