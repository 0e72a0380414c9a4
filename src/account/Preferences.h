#pragma once
// The whole persisted state: the account e-mail and the onboarding-done flag. Every
// other module reaches them only through these functions, which read the store afresh
// on each call.

#include <optional>
#include <string>

namespace quillberry {

void storeEmail(const std::string& email);
std::optional<std::string> getStoredEmail();
void clearEmail();
bool isOnboardingDone();
void markOnboardingDone();
void clearOnboardingDone();

}  // namespace quillberry
