#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"

namespace quillberry {

enum class AlertStyle : int { Informational = 1, Critical = 2 };
// Answers are 1000 + the index of the chosen button.
inline constexpr int ALERT_FIRST_BUTTON_RETURN = 1000;

struct ResultViewerAccessory {
    std::string text;
    double width = 420, height = 180;
    Font font{13, std::nullopt};
    double inset = 8;
};

struct TextFieldAccessory {
    double width = 300, height = 24;
    std::string placeholder;
};

struct AlertSpec {
    std::optional<AlertStyle> style;  // absent: the platform default
    std::string messageText;
    std::optional<std::string> informativeText;
    std::optional<ResultViewerAccessory> resultViewer;
    std::optional<TextFieldAccessory> textField;
    std::vector<std::string> buttons;  // empty: one platform acknowledgement button
};

struct AlertAnswer {
    int response = ALERT_FIRST_BUTTON_RETURN;
    std::string fieldText;  // the text field accessory's text
};

class Alerts {
public:
    virtual ~Alerts() = default;
    // Modal: returns once the alert has closed.
    virtual AlertAnswer runModal(const AlertSpec& spec) = 0;
};

}  // namespace quillberry
