#pragma once
// The one seam between Quillberry's behaviour and the machine. Nothing here names a
// toolkit type: the core speaks in its own vocabulary (key code 32, modifier mask 256,
// alert styles 1/2, answers 1000+, frames in points with a bottom-left origin) and each
// backend translates.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillberry {

// ---------------------------------------------------------------- geometry and looks
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

// ---------------------------------------------------------------- application
class Application {
public:
    virtual ~Application() = default;
    // Calls didFinishLaunching once the event loop is running, then runs it.
    virtual int run(std::function<void()> didFinishLaunching) = 0;
    virtual void terminate() = 0;
    // Brings the application in front of other applications.
    virtual void activateIgnoringOtherApps() = 0;
    // Instances of the application with this bundle id running now, this process included.
    virtual int runningInstanceCount(const std::string& bundleId) = 0;
};

// Callable from any thread; the work always runs later on the main thread, in order.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void async(std::function<void()> work) = 0;
    virtual void asyncAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

// ---------------------------------------------------------------- status bar
class Image {
public:
    virtual ~Image() = default;
    virtual void setTemplate(bool isTemplate) = 0;
    virtual void setSize(double width, double height) = 0;
};

struct MenuItem {
    std::string title;
    std::string action;          // empty: informational, cannot be chosen
    std::string keyEquivalent;   // with the primary modifier
    bool separator = false;
    bool operator==(const MenuItem&) const = default;
    static MenuItem separatorItem() { return {"", "", "", true}; }
};

class StatusButton {
public:
    virtual ~StatusButton() = default;
    virtual void setImage(std::shared_ptr<Image> image) = 0;  // null removes it
    virtual void setTitle(const std::string& title) = 0;
};

class StatusItem {
public:
    virtual ~StatusItem() = default;
    virtual StatusButton* button() = 0;  // may be null
    // The menu opens on a click; a chosen item calls perform(action).
    virtual void setMenu(std::vector<MenuItem> items,
                         std::function<void(const std::string& action)> perform) = 0;
};

class StatusBar {
public:
    virtual ~StatusBar() = default;
    static constexpr double VARIABLE_LENGTH = -1;
    virtual std::unique_ptr<StatusItem> statusItemWithLength(double length) = 0;
};

class Resources {
public:
    virtual ~Resources() = default;
    virtual std::optional<std::string> pathForResource(const std::string& name,
                                                       const std::string& type) = 0;
};

class Images {
public:
    virtual ~Images() = default;
    // Null when the file cannot be read as an image.
    virtual std::shared_ptr<Image> imageWithContentsOfFile(const std::string& path) = 0;
};

// ---------------------------------------------------------------- preferences
class Defaults {
public:
    virtual ~Defaults() = default;
    virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
    virtual bool boolForKey(const std::string& key) = 0;  // false when absent
    virtual void setString(const std::string& key, const std::string& value) = 0;
    virtual void setBool(const std::string& key, bool value) = 0;
    virtual void removeObject(const std::string& key) = 0;
};

// ---------------------------------------------------------------- alerts
enum AlertStyle : int { ALERT_STYLE_INFORMATIONAL = 1, ALERT_STYLE_CRITICAL = 2 };
constexpr int ALERT_FIRST_BUTTON_RETURN = 1000;

struct ResultViewerAccessory {
    std::string text;
    double width = 420, height = 180;
    Font font{13, std::nullopt};
    double insetWidth = 8, insetHeight = 8;
};

struct TextFieldAccessory {
    double width = 300, height = 24;
    std::string placeholder;
};

struct AlertSpec {
    std::optional<int> style;  // absent: the platform default
    std::string messageText;
    std::optional<std::string> informativeText;
    std::optional<ResultViewerAccessory> resultViewer;
    std::optional<TextFieldAccessory> textField;
    std::vector<std::string> buttons;  // empty: one platform acknowledgement button
};

struct AlertAnswer {
    int response = ALERT_FIRST_BUTTON_RETURN;  // 1000 + index of the button
    std::string fieldText;                     // the text field accessory's text
};

class Alerts {
public:
    virtual ~Alerts() = default;
    // Modal: returns once the alert has closed.
    virtual AlertAnswer runModal(const AlertSpec& spec) = 0;
};

// ---------------------------------------------------------------- clipboard and input
class Pasteboard {
public:
    virtual ~Pasteboard() = default;
    virtual std::optional<std::string> stringForType() = 0;  // plain text or absent
    virtual void clearContents() = 0;
    // Afterwards exactly one plain-text item holds `text`.
    virtual void replaceWithString(const std::string& text) = 0;
};

// Puts the frontmost application's current selection on the pasteboard.
class SelectionCopy {
public:
    virtual ~SelectionCopy() = default;
    virtual void copySelection() = 0;
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    virtual bool isProcessTrusted() = 0;
    // Asks the system to offer the permission when not trusted.
    virtual bool isProcessTrustedWithPrompt() = 0;
};

constexpr int KEY_CODE_U = 32;
constexpr int MODIFIER_COMMAND = 256;

class Hotkeys {
public:
    virtual ~Hotkeys() = default;
    // The handler may be called on any thread; it must only post work.
    virtual bool installHandler(std::function<void()> onPressed) = 0;
    // Returns a handle, or absent when the system refused the key.
    virtual std::optional<int> registerHotkey(int keyCode, int modifierMask, int id) = 0;
};

// ---------------------------------------------------------------- network and links
struct HttpRequest {
    std::string url;
    std::string method = "POST";
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> body;
    std::chrono::seconds timeout{60};  // idle limit: time without receiving data
};

struct HttpResponse {
    bool transportError = false;
    std::optional<int> status;       // absent: no HTTP response object
    std::optional<std::string> body; // absent: no body data delivered
};

class Http {
public:
    virtual ~Http() = default;
    // Returns at once; `completion` runs exactly once, never on the calling thread's
    // event loop, typically on a background thread.
    virtual void post(HttpRequest request, std::function<void(HttpResponse)> completion) = 0;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    static bool isValidUrl(const std::string& text);
    virtual bool openUrl(const std::string& url) = 0;
};

// ---------------------------------------------------------------- view kit
class View {
public:
    virtual ~View() = default;
    virtual void setFrame(const Rect& frame) = 0;
    virtual Rect frame() const = 0;
    virtual void setHidden(bool hidden) = 0;
    virtual bool isHidden() const = 0;
    virtual void setAutoresizingMask(int mask) = 0;
    virtual void addSubview(View& child) = 0;
    virtual void setWantsLayer(bool wantsLayer) = 0;
    virtual bool hasLayer() const = 0;
    virtual void setLayerCornerRadius(double radius) = 0;
    virtual void setLayerBackgroundColor(const Color& color) = 0;
};

enum class TextAlignment { Left = 0, Center = 1 };
constexpr int LINE_BREAK_BY_WORD_WRAPPING = 0;
constexpr int BEZEL_STYLE_ROUNDED = 1;
constexpr int BEZEL_STYLE_INLINE = 15;

class TextField : public View {
public:
    virtual void setFont(const Font& font) = 0;
    virtual void setTextColor(const Color& color) = 0;
    virtual void setAlignment(TextAlignment alignment) = 0;
    virtual void setBezeled(bool bezeled) = 0;
    virtual void setBezelStyle(int style) = 0;
    virtual void setEditable(bool editable) = 0;
    virtual void setDrawsBackground(bool draws) = 0;
    virtual void setMaximumNumberOfLines(int lines) = 0;
    virtual void setLineBreakMode(int mode) = 0;
    virtual void setPlaceholderString(const std::string& placeholder) = 0;
    virtual void setStringValue(const std::string& text) = 0;
    virtual std::string stringValue() const = 0;
};

class Button : public View {
public:
    virtual void setBezelStyle(int style) = 0;
    virtual void setBordered(bool bordered) = 0;
    virtual void setFont(const Font& font) = 0;
    virtual void setContentTintColor(const Color& color) = 0;
    virtual void setTitle(const std::string& title) = 0;
    // The target/action pair: the core keeps the action name and the callable together.
    virtual void setAction(const std::string& name, std::function<void()> action) = 0;
};

enum class StackOrientation { Horizontal = 0, Vertical = 1 };
constexpr int STACK_ALIGNMENT_CENTER_Y = 10;
constexpr int STACK_DISTRIBUTION_FILL_EQUALLY = 1;

class StackView : public View {
public:
    virtual void setOrientation(StackOrientation orientation) = 0;
    virtual void setSpacing(double spacing) = 0;
    virtual void setAlignment(int alignment) = 0;
    virtual void setDistribution(int distribution) = 0;
    virtual void addArrangedSubview(View& view) = 0;  // the stack keeps no ownership
    virtual std::vector<View*> arrangedSubviews() const = 0;
    // Fixed-size constraints on an arranged view.
    virtual void constrainSize(View& view, double width, double height) = 0;
};

constexpr int WINDOW_STYLE_TITLED = 1;
constexpr int WINDOW_STYLE_CLOSABLE = 2;
constexpr int AUTORESIZE_WIDTH_SIZABLE = 2;
constexpr int AUTORESIZE_HEIGHT_SIZABLE = 16;

class Window {
public:
    virtual ~Window() = default;
    virtual View* contentView() = 0;  // may be null
    virtual void center() = 0;
    virtual void setReleasedWhenClosed(bool released) = 0;
    virtual void setTitlebarAppearsTransparent(bool transparent) = 0;
    virtual void setTitleVisibility(int visibility) = 0;  // 1: hidden
    virtual void setBackgroundColor(const Color& color) = 0;
    virtual void makeKeyAndOrderFront() = 0;
    virtual void close() = 0;
    virtual bool isVisible() const = 0;
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

// ---------------------------------------------------------------- the whole platform
class Platform {
public:
    virtual ~Platform() = default;
    virtual Application& application() = 0;
    virtual MainQueue& mainQueue() = 0;
    virtual StatusBar& statusBar() = 0;
    virtual Resources& resources() = 0;
    virtual Images& images() = 0;
    virtual Defaults& defaults() = 0;
    virtual Alerts& alerts() = 0;
    virtual Pasteboard& pasteboard() = 0;
    virtual SelectionCopy& selectionCopy() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual Hotkeys& hotkeys() = 0;
    virtual Http& http() = 0;
    virtual Workspace& workspace() = 0;
    virtual ViewKit& viewKit() = 0;
};

// The installed platform. `main` installs the real one, each test a fresh fake.
Platform& platform();
void installPlatform(Platform* platform);

}  // namespace quillberry
