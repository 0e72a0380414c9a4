#pragma once
// The view kit as plain data, so tests can assert frames, fonts, colours and hidden flags.

#include <algorithm>

#include "platform/Platform.h"

namespace quillberry::fake {

template <class Base>
class FakeViewOf : public Base {
public:
    void setFrame(const Rect& f) override { frameValue = f; }
    Rect frame() const override { return frameValue; }
    void setHidden(bool h) override { hidden = h; }
    bool isHidden() const override { return hidden; }
    void setAutoresizingMask(int m) override { autoresizingMask = m; }
    void addSubview(View& child) override { subviews.push_back(&child); }
    void setWantsLayer(bool w) override { layer = w; }
    bool hasLayer() const override { return layer; }
    void setLayerCornerRadius(double r) override { cornerRadius = r; }
    void setLayerBackgroundColor(const Color& c) override { layerBackground = c; }

    Rect frameValue;
    bool hidden = false, layer = false;
    int autoresizingMask = 0;
    double cornerRadius = 0;
    std::optional<Color> layerBackground;
    std::vector<View*> subviews;
};

using FakeView = FakeViewOf<View>;

class FakeTextField : public FakeViewOf<TextField> {
public:
    void setFont(const Font& f) override { font = f; }
    void setTextColor(const Color& c) override { textColor = c; }
    void setAlignment(TextAlignment a) override { alignment = a; }
    void setBezeled(bool b) override { bezeled = b; }
    void setBezelStyle(int s) override { bezelStyle = s; }
    void setEditable(bool e) override { editable = e; }
    void setDrawsBackground(bool d) override { drawsBackground = d; }
    void setMaximumNumberOfLines(int l) override { maxLines = l; }
    void setLineBreakMode(int m) override { lineBreakMode = m; }
    void setPlaceholderString(const std::string& p) override { placeholder = p; }
    void setStringValue(const std::string& t) override { text = t; }
    std::string stringValue() const override { return text; }

    Font font;
    std::optional<Color> textColor;
    TextAlignment alignment = TextAlignment::Left;
    bool bezeled = false, editable = false, drawsBackground = false;
    int bezelStyle = 0, maxLines = 1, lineBreakMode = -1;
    std::string placeholder, text;
};

class FakeButton : public FakeViewOf<Button> {
public:
    void setBezelStyle(int s) override { bezelStyle = s; }
    void setBordered(bool b) override { bordered = b; }
    void setFont(const Font& f) override { font = f; }
    void setContentTintColor(const Color& c) override { tint = c; }
    void setTitle(const std::string& t) override { title = t; }
    void setAction(const std::string& name, std::function<void()> a) override { actionName = name, action = std::move(a); }
    void click() { if (action) action(); }

    int bezelStyle = 0;
    bool bordered = true;
    Font font;
    std::optional<Color> tint;
    std::string title, actionName;
    std::function<void()> action;
};

class FakeStackView : public FakeViewOf<StackView> {
public:
    void setOrientation(StackOrientation o) override { orientation = o; }
    void setSpacing(double s) override { spacing = s; }
    void setAlignment(int a) override { alignment = a; }
    void setDistribution(int d) override { distribution = d; }
    void addArrangedSubview(View& v) override { arranged.push_back(&v); }
    std::vector<View*> arrangedSubviews() const override { return arranged; }
    void constrainSize(View& v, double w, double h) override { constraints.push_back({&v, w, h}); }

    StackOrientation orientation = StackOrientation::Vertical;
    double spacing = 0;
    int alignment = 0, distribution = 0;
    std::vector<View*> arranged;
    struct SizeConstraint { View* view; double width, height; };
    std::vector<SizeConstraint> constraints;
};

}  // namespace quillberry::fake
