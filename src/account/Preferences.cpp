#include "account/Preferences.h"

#include "config/Constants.h"
#include "platform/Defaults.h"
#include "platform/Platform.h"

namespace quillberry {

namespace {
Defaults& store() { return platform().defaults(); }
const std::string& emailKey() {
    static const std::string key(EMAIL_KEY);
    return key;
}
const std::string& onboardingKey() {
    static const std::string key(ONBOARDING_KEY);
    return key;
}
}  // namespace

void storeEmail(const std::string& email) { store().setString(emailKey(), email); }
std::optional<std::string> getStoredEmail() { return store().stringForKey(emailKey()); }
void clearEmail() { store().removeObject(emailKey()); }
bool isOnboardingDone() { return store().boolForKey(onboardingKey()); }
void markOnboardingDone() { store().setBool(onboardingKey(), true); }
// Removed rather than set to false, so the key is absent exactly as on a fresh install.
void clearOnboardingDone() { store().removeObject(onboardingKey()); }

}  // namespace quillberry
