#pragma once
// The view kit on Qt widgets. Frames arrive in points with a bottom-left origin and are
// flipped against the parent's height; sizes in points are device-independent pixels.

#include <QPointer>
#include <QWidget>

#include "platform/ViewKit.h"

namespace quillberry::qt {

// What every wrapped widget shares: frame, hidden flag, layer look, and the style sheet
// those turn into.
struct WidgetState {
    QPointer<QWidget> widget;
    Rect frame;
    bool hidden = false, layer = false, bordered = true;
    double cornerRadius = 0;
    std::optional<Color> layerBackground, foreground;

    void place();  // applies `frame` within the parent
    void restyle();
    void addChild(WidgetState& child);
    void destroy();
};

template <class Base>
class QtViewOf : public Base {
public:
    explicit QtViewOf(QWidget* widget) { state.widget = widget; }
    ~QtViewOf() override { state.destroy(); }
    void setFrame(const Rect& f) override { state.frame = f, state.place(); }
    void setHidden(bool h) override {
        state.hidden = h;
        if (state.widget) state.widget->setHidden(h);
    }
    void addSubview(View& child) override;
    void setWantsLayer(bool w) override { state.layer = w, state.restyle(); }
    void setLayerCornerRadius(double r) override { state.cornerRadius = r, state.restyle(); }
    void setLayerBackgroundColor(const Color& c) override { state.layerBackground = c, state.restyle(); }
    WidgetState state;
};

WidgetState& stateOf(View& view);

}  // namespace quillberry::qt
