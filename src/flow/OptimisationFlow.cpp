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
    if (automatic) {
        clearClipboard();
        simulateCopy();
        wait = AUTOMATIC_CAPTURE_WAIT;
    }
    platform().mainQueue().asyncAfter(wait, [this, automatic, email = *email] { captureStep(automatic, email); });
}

void OptimisationFlow::emailCompletion(const std::optional<std::string>& email) {
    if (email) {
        isProcessing_ = false;
        handleHotkey();  // starts over and now finds the stored address
        return;
    }
    endRun();
}

void OptimisationFlow::captureStep(bool automatic, const std::string& email) {
    std::string text = getClipboard().value_or("");
    if (isBlank(text)) {
        platform().alerts().runModal(emptyTextNotice(automatic));
        endRun();
        return;
    }
    callServer(text, email, [this](std::optional<std::string> result) {
        // Background thread: hand the result to the main queue and touch nothing here.
        platform().mainQueue().async([this, result = std::move(result)] { resultStep(result); });
    });
}

void OptimisationFlow::resultStep(const std::optional<std::string>& result) {
    if (result) {
        setClipboard(*result);
        platform().alerts().runModal(successNotice(*result));
        // The viewer is selectable: a partial copy made while it was open is replaced.
        setClipboard(*result);
    } else {
        platform().alerts().runModal(failureNotice());
    }
    endRun();
}

void OptimisationFlow::endRun() {
    looks_.idle();
    isProcessing_ = false;
}

}  // namespace quillberry
