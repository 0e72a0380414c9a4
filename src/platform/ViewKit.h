#pragma once
// A minimal view kit for the onboarding window. Frames are in points, bottom-left origin.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Geometry.h"

namespace quillberry {

class View {
public:
    virtual ~View() = default;
    virtual void setFrame(const Rect& frame) = 0;
    virtual void setHidden(bool hidden) = 0;
    virtual void addSubview(View& child) = 0;
    virtual void setWantsLayer(bool wantsLayer) = 0;
    virtual void setLayerCornerRadius(double radius) = 0;
    virtual void setLayerBackgroundColor(const Color& color) = 0;
};

enum class TextAlignment { Left, Center };

// A label, or an entry field when made by makeTextField.
class TextField : public View {
public:
    virtual void setFont(const Font& font) = 0;
    virtual void setTextColor(const Color& color) = 0;
    virtual void setAlignment(TextAlignment alignment) = 0;
    virtual void setBezeled(bool bezeled) = 0;
    virtual void setEditable(bool editable) = 0;
    virtual void setWordWrap(bool wraps) = 0;
    virtual void setPlaceholderString(const std::string& placeholder) = 0;
    virtual void setStringValue(const std::string& text) = 0;
    virtual std::string stringValue() const = 0;
};

class Button : public View {
public:
    virtual void setBordered(bool bordered) = 0;
    virtual void setFont(const Font& font) = 0;
    virtual void setContentTintColor(const Color& color) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // The target/action pair: the core keeps the action name and the callable together.
    virtual void setAction(const std::string& name, std::function<void()> action) = 0;
};

// Arranged views of fixed size, centred as one row in the stack's frame.
class StackView : public View {
public:
    virtual void setSpacing(double spacing) = 0;
    virtual void addArrangedSubview(View& view, double width, double height) = 0;  // not owned
};

enum WindowStyleMask : int { WINDOW_STYLE_TITLED = 1, WINDOW_STYLE_CLOSABLE = 2 };

// A window of fixed size. Closing hides it; it is destroyed with its owner.
class Window {
public:
    virtual ~Window() = default;
    virtual View* contentView() = 0;  // may be null
    virtual void center() = 0;
    virtual void setTitleHidden(bool hidden) = 0;
    virtual void setBackgroundColor(const Color& color) = 0;
    virtual void makeKeyAndOrderFront() = 0;
    // Typing goes to `view`, whenever the window has the keyboard.
    virtual void makeFirstResponder(View& view) = 0;
    virtual void close() = 0;
    // The window layer keeps `owner` alive while the window is open, and lets it go on
    // a later pass of the main queue after it closes, so the object that closed it
    // survives until its action has returned.
    virtual void retainWhileOpen(std::shared_ptr<void> owner) = 0;
};

class ViewKit {
public:
    virtual ~ViewKit() = default;
    virtual std::unique_ptr<Window> makeWindow(const Rect& contentRect, int styleMask) = 0;
    virtual std::unique_ptr<View> makeView(const Rect& frame) = 0;
    virtual std::unique_ptr<TextField> makeLabel(const std::string& text) = 0;
    virtual std::unique_ptr<TextField> makeTextField(const Rect& frame) = 0;
    virtual std::unique_ptr<Button> makeButton() = 0;
    virtual std::unique_ptr<StackView> makeStackView() = 0;
};

}  // namespace quillberry
