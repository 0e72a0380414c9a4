#include "flow/OptimisationFlow.h"

#include <chrono>

#include "account/EmailPrompt.h"
#include "account/Preferences.h"
#include "flow/Clipboard.h"
#include "flow/Notices.h"
#include "platform/Alerts.h"
#include "platform/Application.h"
#include "platform/Platform.h"
#include "service/ServiceClient.h"

namespace quillberry {

namespace {
// The frontmost application needs a moment to serve the copy before we read it.
constexpr std::chrono::milliseconds AUTOMATIC_CAPTURE_WAIT{300};
constexpr std::chrono::milliseconds MANUAL_CAPTURE_WAIT{0};

bool isBlank(const std::string& text) {
    for (size_t i = 0, n = 0; i < text.size(); i += n) {
        if ((n = blankAt(text, i, /*lineBreaks=*/true)) == 0) return false;
    }
    return true;
}
}  // namespace

void OptimisationFlow::handleHotkey() {
    if (isProcessing_) return;
    isProcessing_ = true;
    looks_.processing();

    std::optional<std::string> email = getStoredEmail();
    if (!email) {
        showEmailWindow([this](const std::optional<std::string>& accepted) { emailCompletion(accepted); });
        return;
    }

    bool automatic = AXIsProcessTrusted();
    auto wait = MANUAL_CAPTURE_WAIT;
    std::optional<std::string> held;
    if (automatic) {
        // Emptied so that an old text is never taken for the selection; kept to be put back
        // when no selection comes.
        held = getClipboard();
        clearClipboard();
        simulateCopy();
        wait = AUTOMATIC_CAPTURE_WAIT;
    }
    platform().mainQueue().asyncAfter(
        wait, [this, automatic, email = *email, held = std::move(held)] { captureStep(automatic, email, held); });
}

void OptimisationFlow::emailCompletion(const std::optional<std::string>& email) {
    if (email) {
        isProcessing_ = false;
        handleHotkey();  // starts over and now finds the stored address
        return;
    }
    endRun();
}

void OptimisationFlow::captureStep(bool automatic, const std::string& email, const std::optional<std::string>& held) {
    std::string text = getClipboard().value_or("");
    if (isBlank(text)) {
        // Nothing captured: the clipboard gets back what the user had on it.
        if (held) setClipboard(*held);
        platform().alerts().runModal(emptyTextNotice(automatic));
        endRun();
        return;
    }
    // A text the service would refuse for its size is said to be too long, not sent.
    if (text.size() > MAX_REQUEST_BYTES) {
        platform().alerts().runModal(tooLongNotice(text.size(), MAX_REQUEST_BYTES));
        endRun();
        return;
    }
    callService(text, email, [this](ServiceResult result) {
        // Background thread: hand the result to the main queue and touch nothing here.
        platform().mainQueue().async([this, result = std::move(result)] { resultStep(result); });
    });
}

void OptimisationFlow::resultStep(const ServiceResult& result) {
    if (const auto& prompt = result.improvedPrompt) {
        setClipboard(*prompt);
        platform().alerts().runModal(successNotice(*prompt));
        // The viewer is selectable: a partial copy made while it was open is replaced.
        setClipboard(*prompt);
    } else {
        platform().alerts().runModal(failureNotice(result.failure == ServiceFailure::LocalServiceDown));
    }
    endRun();
}

void OptimisationFlow::endRun() {
    looks_.idle();
    isProcessing_ = false;
}

}  // namespace quillberry
