#pragma once
// The flow's only contact with the system clipboard and with the frontmost
// application's selection.

#include <optional>
#include <string>

namespace quillberry {

// The clipboard's plain text; absent when it offers none. "" stays "".
std::optional<std::string> getClipboard();
// Afterwards the clipboard holds exactly one plain-text item with `text`.
void setClipboard(const std::string& text);
void clearClipboard();
// Puts the frontmost application's selection on the clipboard.
void simulateCopy();

// Automatic mode is in force exactly when the system lets us capture the selection.
bool AXIsProcessTrusted();
// The same question, asking the system to offer the permission when the answer is no.
bool AXIsProcessTrustedWithOptions(bool prompt);

}  // namespace quillberry
