#include "platform/qt/ShortcutRecorder.h"

#include <xcb/xcb.h>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>

namespace quillberry::qt {

uint16_t x11Modifiers(Qt::KeyboardModifiers modifiers) {
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier) mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier) mask |= XCB_MOD_MASK_4;
    return mask;
}

// Qt calls the Super key "Meta"; a Linux keyboard and its desktops call it Super.
QString chordText(const QKeySequence& sequence) {
    return sequence.toString(QKeySequence::NativeText).replace("Meta", "Super");
}

ShortcutRecorder::ShortcutRecorder(const QString& current, Attempt attempt)
    : attempt_(std::move(attempt)), edit_(new QKeySequenceEdit), status_(new QLabel) {
    setObjectName("shortcutRecorder");
    setWindowTitle("Quillberry");
    setModal(true);
    auto* title = new QLabel("Nouveau raccourci");
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* explanation = new QLabel(
        "Appuie sur la combinaison de touches à utiliser, avec Ctrl, Alt ou Super. "
        "Échap pour annuler.\nRaccourci actuel : " +
        current);
    explanation->setWordWrap(true);
    status_->setObjectName("recorderStatus");
    status_->setWordWrap(true);
    auto* cancel = new QPushButton("Annuler");
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* column = new QVBoxLayout(this);
    for (QWidget* w : {static_cast<QWidget*>(title), static_cast<QWidget*>(explanation), static_cast<QWidget*>(edit_),
                       static_cast<QWidget*>(status_)})
        column->addWidget(w);
    column->addWidget(cancel, 0, Qt::AlignRight);
    setFixedWidth(420);
    showPlaceholder();
    edit_->setFocus();
    // The key's position comes with its press, which the editor does not keep.
    qApp->installEventFilter(this);
}

ShortcutRecorder::~ShortcutRecorder() { qApp->removeEventFilter(this); }

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;  // null under offscreen or Wayland
}

// The whole keyboard while recording: a combination another program has grabbed would
// otherwise go to that program, never reach this window, and could not be refused. The X
// server grants it only once the window is on screen, a moment after it is shown.
void ShortcutRecorder::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    grabTries_ = 50;
    takeKeyboard();
}

void ShortcutRecorder::takeKeyboard() {
    xcb_connection_t* connection = x11Connection();
    if (!connection || !isVisible() || grabTries_-- <= 0) return;
    auto cookie = xcb_grab_keyboard(connection, 1, xcb_window_t(winId()), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                    XCB_GRAB_MODE_ASYNC);
    xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(connection, cookie, nullptr);
    keyboardGrabbed_ = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    free(reply);
    if (!keyboardGrabbed_) QTimer::singleShot(20, this, [this] { takeKeyboard(); });
}

void ShortcutRecorder::done(int result) {
    if (xcb_connection_t* connection = x11Connection(); connection && keyboardGrabbed_) {
        xcb_ungrab_keyboard(connection, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }
    keyboardGrabbed_ = false;
    grabTries_ = 0;
    QDialog::done(result);
}

bool ShortcutRecorder::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !isVisible()) return false;
    auto* press = static_cast<QKeyEvent*>(event);
    if (press->key() == Qt::Key_Escape && press->modifiers() == Qt::NoModifier) {
        reject();
        return true;
    }
    static const QSet<int> modifierKeys = {Qt::Key_Shift,   Qt::Key_Control,  Qt::Key_Alt,     Qt::Key_AltGr,
                                           Qt::Key_Meta,    Qt::Key_Super_L,  Qt::Key_Super_R, Qt::Key_Hyper_L,
                                           Qt::Key_Hyper_R, Qt::Key_CapsLock, Qt::Key_NumLock};
    if (modifierKeys.contains(press->key())) return false;
    pressedKeycode_ = uint8_t(press->nativeScanCode());
    // Qt 6.4's editor records up to four chords and says so a second after the last: the
    // first chord is the shortcut, taken as soon as the editor has read it.
    QTimer::singleShot(0, this, [this] { take(edit_->keySequence()); });
    return false;
}

void ShortcutRecorder::showPlaceholder() {
    if (auto* field = edit_->findChild<QLineEdit*>()) field->setPlaceholderText("Appuie sur les touches");
}

void ShortcutRecorder::take(const QKeySequence& sequence) {
    if (sequence.isEmpty()) return;
    const QKeyCombination first = sequence[0];
    const uint16_t modifiers = x11Modifiers(first.keyboardModifiers());
    auto refuse = [this](const QString& why) {
        status_->setText(why);
        edit_->clear();
        showPlaceholder();
    };
    if (!(modifiers & (XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4)))
        return refuse(
            "Il faut Ctrl, Alt ou Super dans la combinaison : sans eux, la touche ne servirait plus qu'à "
            "Quillberry.");
    const QKeySequence combination(first);
    const KeyChord chord{pressedKeycode_, modifiers, chordText(combination),
                         combination.toString(QKeySequence::PortableText)};
    if (auto why = attempt_(chord)) return refuse(*why);
    chord_ = chord;
    accept();
}

}  // namespace quillberry::qt
