#pragma once
// Frames in points with the origin at the bottom-left of the parent, colours as RGBA
// components from 0 to 1, fonts as the system font at a size with a named weight.

#include <optional>

namespace quillberry {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 1;
    bool operator==(const Color&) const = default;
    static constexpr Color white(double level) { return {level, level, level, 1}; }
};

enum class FontWeight { Regular, Medium, Semibold, Bold };

struct Font {
    double pointSize = 13;
    std::optional<FontWeight> weight;  // absent: the plain system font of that size
    bool operator==(const Font&) const = default;
};

}  // namespace quillberry
