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
    // The ASCII white space plus the multi-byte spaces, NEL, and the line and paragraph
    // separators.
    size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == ' ' || (c >= 0x09 && c <= 0x0D)) {
            ++i;
            continue;
        }
        auto at = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0u; };
        if (c == 0xC2 && (at(1) == 0x85 || at(1) == 0xA0)) {
            i += 2;
            continue;
        }
        if (c == 0xE1 && at(1) == 0x9A && at(2) == 0x80) {
            i += 3;
            continue;
        }
        if (c == 0xE2 && at(1) == 0x80 &&
            ((at(2) >= 0x80 && at(2) <= 0x8A) || at(2) == 0xA8 || at(2) == 0xA9 || at(2) == 0xAF)) {
            i += 3;
            continue;
        }
        if (c == 0xE2 && at(1) == 0x81 && at(2) == 0x9F) {
            i += 3;
            continue;
        }
        if (c == 0xE3 && at(1) == 0x80 && at(2) == 0x80) {
            i += 3;
            continue;
        }
        return false;
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
