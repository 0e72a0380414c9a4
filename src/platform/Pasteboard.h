#pragma once
// The clipboard, the frontmost application's selection, and the permission to capture it.

#include <optional>
#include <string>

namespace quillberry {

class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual std::optional<std::string> stringForType() = 0;  // plain text or absent
    virtual void clearContents() = 0;
    // Afterwards exactly one plain-text item holds `text`.
    virtual void replaceWithString(const std::string& text) = 0;
};

// Puts the frontmost application's current selection on the pasteboard.
class SelectionCopy {
public:
    virtual ~SelectionCopy() = default;
    virtual void copySelection() = 0;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    virtual bool isProcessTrusted() = 0;
    // Asks the system to offer the permission when not trusted.
    virtual bool isProcessTrustedWithPrompt() = 0;
    // Takes the permission back: the copy-first way from the next press on.
    virtual void withdrawTrust() = 0;
};

}  // namespace quillberry
