#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

struct xcb_connection_t;
class QKeySequence;
class QKeySequenceEdit;
class QLabel;

namespace quillberry::qt {

// A key combination as the X server sees it: the key's position and the modifier mask, with
// the text that names it to the user.
struct KeyChord {
    uint8_t keycode = 0;
    uint16_t modifiers = 0;
    QString text;      // as the user reads it
    QString portable;  // as it is stored: "Ctrl+Alt+K"
};

// Records the next key combination the user presses, which must hold Ctrl, Alt or Super;
// Escape cancels. Each combination is offered to `attempt`, which takes it (absent) or says
// why not; the window then stays open for another.
class ShortcutRecorder : public QDialog {
public:
    using Attempt = std::function<std::optional<QString>(const KeyChord&)>;
    ShortcutRecorder(const QString& current, Attempt attempt);
    ~ShortcutRecorder() override;
    const KeyChord& chord() const { return chord_; }

    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void take(const QKeySequence& sequence);
    void takeKeyboard();
    void showPlaceholder();
    Attempt attempt_;
    QKeySequenceEdit* edit_;
    QLabel* status_;
    KeyChord chord_;
    uint8_t pressedKeycode_ = 0;
    int grabTries_ = 0;
    bool keyboardGrabbed_ = false;
};

// The application's X connection; null under offscreen or Wayland.
xcb_connection_t* x11Connection();
// The X modifier mask of Qt's modifiers (Shift, Control, Mod1 for Alt, Mod4 for Super).
uint16_t x11Modifiers(Qt::KeyboardModifiers modifiers);
// A combination as the user reads it: "Ctrl+Alt+K", "Super+F9".
QString chordText(const QKeySequence& sequence);

}  // namespace quillberry::qt
