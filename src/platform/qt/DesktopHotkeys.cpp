#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>

#include "config/Constants.h"
#include "config/Keys.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/ShortcutRecorder.h"
#include "platform/qt/TriggerServer.h"
#include "platform/wayland/GlobalShortcut.h"

namespace quillberry::qt {

namespace {
// The key is a position, not a letter: the U key of a US keyboard (evdev KEY_U, 22, which X
// numbers 8 higher), wherever the layout puts a "u". On AZERTY it is the same key; on a
// Dvorak layout it is the key that types "f".
constexpr xcb_keycode_t U_POSITION = 22 + 8;
// Lock keys must not change what counts as Ctrl+U: grab each combination of them.
constexpr uint16_t LOCK_VARIANTS[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint16_t RELEVANT_MODIFIERS = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

// The user's own shortcut, a preference of its own beside the account's two: the key's position
// and the combination as Qt writes it, "38 Ctrl+Alt+A". Absent or unreadable: Ctrl+U.
constexpr char SHORTCUT_KEY[] = "quillberry_shortcut";

xcb_window_t rootOf(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

void ungrab(xcb_connection_t* connection, const KeyChord& chord) {
    for (uint16_t lock : LOCK_VARIANTS)
        xcb_ungrab_key(connection, chord.keycode, rootOf(connection), uint16_t(chord.modifiers | lock));
    xcb_flush(connection);
}

// False when another program holds the combination itself (BadAccess on the plain variant):
// then nothing of it stays grabbed.
bool grab(xcb_connection_t* connection, const KeyChord& chord) {
    bool grabbed = true;
    for (uint16_t lock : LOCK_VARIANTS) {
        auto cookie = xcb_grab_key_checked(connection, 1, rootOf(connection), uint16_t(chord.modifiers | lock),
                                           chord.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            free(error);
            if (lock == 0) grabbed = false;
        }
    }
    if (!grabbed) ungrab(connection, chord);
    xcb_flush(connection);
    return grabbed;
}

std::optional<KeyChord> chordFrom(const std::optional<std::string>& stored) {
    if (!stored) return std::nullopt;
    const QString text = QString::fromStdString(*stored);
    const qsizetype space = text.indexOf(' ');
    bool number = false;
    const int keycode = text.left(space).toInt(&number);
    const QKeySequence sequence = QKeySequence::fromString(text.mid(space + 1), QKeySequence::PortableText);
    if (space < 0 || !number || keycode < 8 || keycode > 255 || sequence.count() != 1) return std::nullopt;
    const uint16_t modifiers = x11Modifiers(sequence[0].keyboardModifiers());
    if (!(modifiers & (XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4))) return std::nullopt;
    return KeyChord{uint8_t(keycode), modifiers, chordText(sequence), sequence.toString(QKeySequence::PortableText)};
}

QString defaultShortcutText() { return QString::fromStdString(withPrimaryModifier(DEFAULT_SHORTCUT_KEY)); }
}  // namespace

class DesktopHotkeys::Filter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || keycode == 0) return false;
        auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & ~0x80) != XCB_KEY_PRESS) return false;
        auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
        if (press->detail != keycode || (press->state & RELEVANT_MODIFIERS) != modifiers) return false;
        if (handler) handler();
        return true;
    }
    std::function<void()> handler;
    xcb_keycode_t keycode = 0;
    uint16_t modifiers = 0;
};

DesktopHotkeys::DesktopHotkeys(Session& session, const std::string& bundleId, Defaults& defaults)
    : session_(session), bundleId_(bundleId), defaults_(defaults), filter_(std::make_unique<Filter>()) {}

DesktopHotkeys::~DesktopHotkeys() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(filter_.get());
}

bool DesktopHotkeys::installHandler(std::function<void()> onPressed) {
    filter_->handler = std::move(onPressed);
    if (!QCoreApplication::instance()) return false;
    QCoreApplication::instance()->installNativeEventFilter(filter_.get());
    listenForTriggers();
    // On Wayland the key grab sees at most the keys typed into X11 windows: the shortcut comes
    // from the desktop's portal where it has one, and otherwise from a binding of
    // `quillberry --trigger` that the user makes.
    if (session_.wayland) {
        using wayland::GlobalShortcut;
        portal_ = std::make_unique<GlobalShortcut>(
            QString::fromUtf8(APP_ID.data(), qsizetype(APP_ID.size())), "improve", "Améliorer le texte copié", "CTRL+u",
            [this] {
                if (filter_->handler) filter_->handler();
            },
            [this](GlobalShortcut::Outcome outcome) {
                session_.portal = outcome == GlobalShortcut::Outcome::Bound;
                if (!session_.portal) sayHowToBindTheTrigger();
            });
        // The desktop's own words for the keys, kept as the user rebinds them in its settings.
        portal_->onDescribed([this](const QString& description) {
            if (description == portalDescription_) return;
            portalDescription_ = description;
            announceChange();
        });
    }
    return true;
}

void DesktopHotkeys::announceChange() {
    if (changed_) QMetaObject::invokeMethod(qApp, changed_, Qt::QueuedConnection);
}

std::optional<std::string> DesktopHotkeys::shortcutDescription() {
    if (session_.wayland) {
        if (session_.portal && !portalDescription_.isEmpty()) return portalDescription_.toStdString();
        return std::nullopt;  // the binding the launch notice advises
    }
    if (chosen_) return chosen_->text.toStdString();
    return std::nullopt;
}

void DesktopHotkeys::setShortcutChangedHandler(std::function<void()> changed) { changed_ = std::move(changed); }

void DesktopHotkeys::changeShortcut() {
    if (!session_.wayland) return record();
    if (session_.portal && portal_->configurable()) return portal_->configure();
    if (session_.portal) {
        return showNoticeWhenIdle("Changer le raccourci",
                                  "Change-le dans les réglages de ton bureau : sur KDE, Configuration du système › "
                                  "Raccourcis ; sur GNOME, Paramètres › Clavier. Quillberry y figure sous le nom "
                                  "«\u00A0Améliorer le texte copié\u00A0».");
    }
    showNoticeWhenIdle("Changer le raccourci",
                       "Dans les raccourcis clavier de ton bureau, associe la combinaison de ton choix à la "
                       "commande :\n\nquillberry --trigger");
}

// Ours is let go while the window records: pressed now, it reaches the window, and it can be
// chosen again. The new one is grabbed at once; a refused or cancelled one leaves the old.
void DesktopHotkeys::record() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) return;
    const KeyChord before{filter_->keycode, filter_->modifiers, {}, {}};
    if (before.keycode) ungrab(connection, before);
    filter_->keycode = 0;
    ShortcutRecorder recorder(
        chosen_ ? chosen_->text : defaultShortcutText(), [connection](const KeyChord& chord) -> std::optional<QString> {
            if (grab(connection, chord)) return std::nullopt;
            return QString("Un autre programme utilise déjà %1 : choisis une autre combinaison.").arg(chord.text);
        });
    if (recorder.exec() != QDialog::Accepted) {
        if (before.keycode && grab(connection, before)) filter_->keycode = before.keycode;
        return;
    }
    const KeyChord& chord = recorder.chord();
    filter_->keycode = chord.keycode, filter_->modifiers = chord.modifiers;
    chosen_ = chord;
    defaults_.setString(SHORTCUT_KEY, QString("%1 %2").arg(chord.keycode).arg(chord.portable).toStdString());
    announceChange();
}

// Without a portal, Ctrl+U would do nothing, and say nothing. So say it, at each launch,
// until the trigger has been used once (a marker file records that).
void DesktopHotkeys::sayHowToBindTheTrigger() {
    if (QFileInfo::exists(triggerUsedMarker())) return;
    const QString keys = defaultShortcutText();
    showNoticeWhenIdle("Raccourci à configurer",
                       QString("Sur cette session Wayland, Quillberry ne reçoit pas %1. Dans les raccourcis clavier de "
                               "ton bureau, associe à %1 la commande :\n\nquillberry --trigger\n\n"
                               "Ce message ne reviendra plus une fois le raccourci utilisé.")
                           .arg(keys));
}

QString DesktopHotkeys::triggerUsedMarker() const { return configFile(bundleId_, ".trigger-used"); }

// Only the instance that holds the lock gets here.
void DesktopHotkeys::listenForTriggers() {
    triggers_ = std::make_unique<TriggerServer>(triggerPath(bundleId_), [this] {
        if (filter_->handler) filter_->handler();  // the press itself, posted like the key's
        if (!QFileInfo::exists(triggerUsedMarker())) writePrivateFile(triggerUsedMarker(), "");
    });
}

std::optional<int> DesktopHotkeys::registerHotkey(KeyCode key, ModifierMask modifiers, int id) {
    // Only the one combination the app knows: the U key with the primary modifier, which
    // is Control here; or the one the user chose instead.
    if (key != KeyCode::U || modifiers != ModifierMask::Command) return std::nullopt;
    xcb_connection_t* connection = x11Connection();
    if (!connection || session_.wayland) return std::nullopt;
    chosen_ = chordFrom(defaults_.stringForKey(SHORTCUT_KEY));
    if (chosen_) announceChange();  // what was shown before it was read named Ctrl+U
    const KeyChord chord = chosen_.value_or(KeyChord{U_POSITION, XCB_MOD_MASK_CONTROL, defaultShortcutText(), {}});
    if (!grab(connection, chord)) {
        showNoticeWhenIdle(
            "Raccourci déjà pris",
            QString("Un autre programme utilise déjà %1 : Quillberry ne le reçoit pas. Pour choisir un "
                    "autre raccourci, clique sur l'icône Quillberry puis sur «\u00A0Raccourci : %1\u00A0».")
                .arg(chord.text));
        return std::nullopt;
    }
    filter_->keycode = chord.keycode;
    filter_->modifiers = chord.modifiers;
    return id;
}

}  // namespace quillberry::qt
