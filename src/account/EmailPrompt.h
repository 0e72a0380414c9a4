#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillberry {

using EmailCompletion = std::function<void(const std::optional<std::string>&)>;

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
