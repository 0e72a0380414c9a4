#pragma once

#include <string>
#include <vector>

namespace quillberry {

// One page of the onboarding. Immutable once built.
struct Step {
    const std::string icon;
    const std::string title;
    const std::string subtitle;
    const std::string buttonText;
    const bool showEmail;
    const bool showSkip;
};

// The pages, in order, naming the keys of the shortcut in force now. Their count decides the
// last page, the dots and the tip.
std::vector<Step> onboardingSteps();

}  // namespace quillberry
