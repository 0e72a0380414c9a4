#include "onboarding/OnboardingWindow.h"

#include "account/EmailPrompt.h"
#include "account/Preferences.h"
#include "hotkey/Shortcut.h"
#include "platform/Application.h"
#include "platform/Platform.h"

namespace quillberry {

namespace {
constexpr Color NEAR_BLACK{0.04, 0.04, 0.04, 1};
constexpr Color WHITE{1, 1, 1, 1};
constexpr Color BODY_GREY = Color::white(0.55);
constexpr Color SKIP_GREY = Color::white(0.45);
constexpr Color DOT_GREY = Color::white(0.25);
constexpr Color AMBER{1.0, 0.82, 0.25, 1};

constexpr Rect SUBTITLE_FRAME{40, 155, 400, 95};
constexpr Rect SUBTITLE_FRAME_WITH_EMAIL{40, 205, 400, 40};
constexpr Rect SUBTITLE_FRAME_LAST_PAGE{40, 195, 400, 60};

std::string tipText() {
    return "\u26A1 Tu veux un seul raccourci (sans " + withPrimaryModifier("C") +
           ") ?\nClique sur l'icône Quillberry,\npuis « Activer le mode automatique ».";
}

void styleLabel(TextField& label, const Rect& frame, const Font& font, const Color& color) {
    label.setFrame(frame);
    label.setFont(font);
    label.setTextColor(color);
    label.setAlignment(TextAlignment::Center);
    label.setBezeled(false);
    label.setEditable(false);
}
}  // namespace

OnboardingWindow::OnboardingWindow() : steps_(onboardingSteps()) {
    ViewKit& kit = platform().viewKit();
    containerView_ = kit.makeView({});
    titleLabel_ = kit.makeLabel("");
    subtitleLabel_ = kit.makeLabel("");
    emailField_ = kit.makeTextField({});
    actionButton_ = kit.makeButton();
    skipButton_ = kit.makeButton();
    dotsStack_ = kit.makeStackView();
    iconLabel_ = kit.makeLabel("");
    tipLabel_ = kit.makeLabel("");

    window_ = kit.makeWindow({0, 0, WIDTH, HEIGHT}, WINDOW_STYLE_TITLED | WINDOW_STYLE_CLOSABLE);
    window_->center();
    window_->setTitleHidden(true);
    window_->setBackgroundColor(NEAR_BLACK);
    setupUI();
    showStep(0);
}

void OnboardingWindow::setupUI() {
    View* content = window_->contentView();
    if (!content) return;
    containerView_->setFrame({0, 0, WIDTH, HEIGHT});
    content->addSubview(*containerView_);
    setupTexts();
    setupEmailField();
    setupButtons();
    setupDots();
}

void OnboardingWindow::setupTexts() {
    styleLabel(*iconLabel_, {0, 310, 480, 60}, {52, FontWeight::Bold}, WHITE);
    styleLabel(*titleLabel_, {40, 255, 400, 36}, {24, FontWeight::Bold}, WHITE);
    styleLabel(*subtitleLabel_, SUBTITLE_FRAME, {14, FontWeight::Regular}, BODY_GREY);
    subtitleLabel_->setWordWrap(true);
    styleLabel(*tipLabel_, {30, 120, 420, 60}, {14, FontWeight::Semibold}, AMBER);
    tipLabel_->setWordWrap(true);
    tipLabel_->setStringValue(tipText());
    tipLabel_->setHidden(true);
    for (TextField* label : {iconLabel_.get(), titleLabel_.get(), subtitleLabel_.get()})
        containerView_->addSubview(*label);
}

void OnboardingWindow::setupEmailField() {
    emailField_->setFrame({90, 160, 300, 32});
    emailField_->setFont({14, std::nullopt});
    emailField_->setBezeled(true);
    emailField_->setPlaceholderString("prenom@exemple.fr");
    emailField_->setEditable(true);
    emailField_->setHidden(true);
    containerView_->addSubview(*emailField_);
}

void OnboardingWindow::setupButtons() {
    actionButton_->setFrame({140, 70, 200, 44});
    actionButton_->setBordered(false);
    actionButton_->setWantsLayer(true);
    actionButton_->setLayerBackgroundColor(WHITE);
    actionButton_->setLayerCornerRadius(10);
    actionButton_->setFont({15, FontWeight::Semibold});
    actionButton_->setContentTintColor(NEAR_BLACK);
    actionButton_->setAction("nextStep", [this] { nextStep(); });
    containerView_->addSubview(*actionButton_);

    skipButton_->setFrame({140, 35, 200, 30});
    skipButton_->setBordered(false);
    skipButton_->setFont({13, FontWeight::Medium});
    skipButton_->setContentTintColor(SKIP_GREY);
    skipButton_->setTitle("Plus tard");
    skipButton_->setAction("skipStep", [this] { skipStep(); });
    skipButton_->setHidden(true);
    containerView_->addSubview(*skipButton_);
    // The tip shares the e-mail field's place (they never show together) and stays above it.
    containerView_->addSubview(*tipLabel_);
}

void OnboardingWindow::setupDots() {
    dotsStack_->setFrame({190, 10, 100, 16});
    dotsStack_->setSpacing(8);
    for (size_t i = 0; i < steps_.size(); ++i) {
        auto dot = platform().viewKit().makeView({0, 0, 8, 8});
        dot->setWantsLayer(true);
        dot->setLayerCornerRadius(4);
        dot->setLayerBackgroundColor(DOT_GREY);
        dotsStack_->addArrangedSubview(*dot, 8, 8);
        dots_.push_back(std::move(dot));
    }
    containerView_->addSubview(*dotsStack_);
}

void OnboardingWindow::showStep(int index) {
    currentStep = index;
    const Step& step = steps_.at(static_cast<size_t>(index));
    const bool lastPage = index == static_cast<int>(steps_.size()) - 1;

    if (index == 0) {
        iconLabel_->setStringValue(step.icon);
        iconLabel_->setHidden(false);
    } else {
        iconLabel_->setHidden(true);
    }
    titleLabel_->setStringValue(step.title);
    subtitleLabel_->setStringValue(step.subtitle);
    actionButton_->setTitle(step.buttonText);
    emailField_->setHidden(!step.showEmail);
    skipButton_->setHidden(!step.showSkip);
    tipLabel_->setHidden(!lastPage);

    // The page asks for the address: typing goes straight into its field.
    if (step.showEmail) window_->makeFirstResponder(*emailField_);

    if (step.showEmail) subtitleLabel_->setFrame(SUBTITLE_FRAME_WITH_EMAIL);
    else if (lastPage) subtitleLabel_->setFrame(SUBTITLE_FRAME_LAST_PAGE);
    else subtitleLabel_->setFrame(SUBTITLE_FRAME);

    // Every dot is layer-backed (setupDots).
    for (size_t j = 0; j < dots_.size(); ++j)
        dots_[j]->setLayerBackgroundColor(static_cast<int>(j) == index ? WHITE : DOT_GREY);
}

void OnboardingWindow::nextStep() {
    const Step& step = steps_.at(static_cast<size_t>(currentStep));
    if (step.showEmail) {
        // A refused entry is silent and the page is left all the same; the main job asks
        // for the address again when it needs one.
        if (auto email = validatedEmail(emailField_->stringValue())) {
            storeEmail(*email);
            savedEmail = email;
        }
    }
    if (currentStep >= static_cast<int>(steps_.size()) - 1) {
        markOnboardingDone();
        window_->close();
        if (completionHandler) completionHandler(savedEmail);
        return;
    }
    showStep(currentStep + 1);
}

void OnboardingWindow::skipStep() {
    if (currentStep < static_cast<int>(steps_.size()) - 1) showStep(currentStep + 1);
}

void showOnboarding(OnboardingCompletion completion) {
    auto onboarding = std::make_shared<OnboardingWindow>();
    onboarding->completionHandler = std::move(completion);
    Window& window = onboarding->window();
    window.retainWhileOpen(onboarding);
    window.makeKeyAndOrderFront();
    platform().application().activateIgnoringOtherApps();
}

}  // namespace quillberry
