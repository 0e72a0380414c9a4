#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillberry {

using EmailCompletion = std::function<void(const std::optional<std::string>&)>;

// The byte length of the blank that starts at `at` in UTF-8 `text`, or 0: a tab or a Unicode
// space separator, and with `lineBreaks` also a line break (LF to CR, NEL, U+2028, U+2029).
size_t blankAt(const std::string& text, size_t at, bool lineBreaks);

// Trims tabs and Unicode space separators (never line breaks) from both ends; refuses an
// empty result or one without "@"; otherwise yields the trimmed text unchanged.
std::optional<std::string> validatedEmail(const std::string& raw);

// The modal e-mail prompt. Stores an accepted address, then calls `completion` exactly
// once before returning: with the address, or absent when cancelled or refused.
void showEmailWindow(const EmailCompletion& completion);

// The menu's account commands: ask for a new address and confirm it; forget the address.
void changeEmail();
void logout();

}  // namespace quillberry
