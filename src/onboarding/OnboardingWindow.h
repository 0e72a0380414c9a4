#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "onboarding/Step.h"
#include "platform/ViewKit.h"

namespace quillberry {

using OnboardingCompletion = std::function<void(const std::optional<std::string>&)>;

// The first-run window: three pages, an e-mail entry and page dots. Nothing in the app
// keeps a reference to it; the window layer keeps it alive while it is open.
class OnboardingWindow {
public:
    OnboardingWindow();

    std::optional<std::string> savedEmail;
    OnboardingCompletion completionHandler;
    int currentStep = 0;

    void setupUI();
    void showStep(int index);
    void nextStep();
    void skipStep();

    Window& window() { return *window_; }
    TextField& emailField() { return *emailField_; }
    TextField& iconLabel() { return *iconLabel_; }
    TextField& titleLabel() { return *titleLabel_; }
    TextField& subtitleLabel() { return *subtitleLabel_; }
    TextField& tipLabel() { return *tipLabel_; }
    Button& actionButton() { return *actionButton_; }
    Button& skipButton() { return *skipButton_; }
    const std::vector<std::unique_ptr<View>>& dots() const { return dots_; }

    static constexpr double WIDTH = 480, HEIGHT = 420;

private:
    void setupTexts();
    void setupEmailField();
    void setupButtons();
    void setupDots();

    const std::vector<Step> steps_;
    // Views before the window: they are torn down after it lets go of them.
    std::unique_ptr<View> containerView_;
    std::unique_ptr<TextField> titleLabel_, subtitleLabel_, emailField_, iconLabel_, tipLabel_;
    std::unique_ptr<Button> actionButton_, skipButton_;
    std::unique_ptr<StackView> dotsStack_;
    std::vector<std::unique_ptr<View>> dots_;
    std::unique_ptr<Window> window_;
};

// Opens a new onboarding window in front of every application and returns at once.
// Every call makes a new, independent window.
void showOnboarding(OnboardingCompletion completion);

}  // namespace quillberry
