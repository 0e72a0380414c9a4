#pragma once

#include <functional>
#include <optional>
#include <string>

#include "service/ServiceClient.h"

namespace quillberry {

// How a run shows itself on the status item: the processing look while it lasts, the idle
// look when it ends.
struct StatusLooks {
    std::function<void()> processing;
    std::function<void()> idle;
};

// The main job: one press of the hotkey turns the copied (or selected) text into an
// improved prompt on the clipboard. Every step runs on the main queue; the busy flag
// keeps at most one run, and so one request, in flight.
class OptimisationFlow {
public:
    explicit OptimisationFlow(StatusLooks looks) : looks_(std::move(looks)) {}

    void handleHotkey();
    bool isProcessing() const { return isProcessing_; }

private:
    void emailCompletion(const std::optional<std::string>& email);
    void captureStep(bool automatic, const std::string& email, const std::optional<std::string>& held);
    void resultStep(const ServiceResult& result);
    void endRun();

    StatusLooks looks_;
    bool isProcessing_ = false;
};

}  // namespace quillberry
