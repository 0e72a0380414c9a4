#pragma once
// The menu commands beside the main job: instructions, support, automatic mode.

#include <string>

namespace quillberry {

// Shows the onboarding pages again; from here the onboarding counts as not done.
void openInstructions();
// Opens the support chat link with the desktop's handler.
void openSupportLink();
// Explains automatic mode and, on "Activer", turns it on; once on, offers to turn it off.
void offerAutomaticMode();

// A link we are willing to hand to the desktop: http or https, a host without a user name,
// at most 2048 characters, none of which a URL may not hold raw (so nothing that could be read
// as more than one argument or a quote).
bool isValidUrl(const std::string& text);

}  // namespace quillberry
