#include <xcb/xcb.h>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>

#include "config/Constants.h"
#include "config/Keys.h"
#include "platform/qt/InstanceLock.h"
#include "platform/qt/QtPlatform.h"
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

xcb_connection_t* x11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;  // null under offscreen or Wayland
}
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

DesktopHotkeys::DesktopHotkeys(Session& session, const std::string& bundleId)
    : session_(session), bundleId_(bundleId), filter_(std::make_unique<Filter>()) {}

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
    }
    return true;
}

// Without a portal, Ctrl+U would do nothing, and say nothing. So say it, at each launch,
// until the trigger has been used once (a marker file records that).
void DesktopHotkeys::sayHowToBindTheTrigger() {
    if (QFileInfo::exists(triggerUsedMarker())) return;
    const QString keys = QString::fromStdString(withPrimaryModifier(DEFAULT_SHORTCUT_KEY));
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
    // is Control here.
    if (key != KeyCode::U || modifiers != ModifierMask::Command) return std::nullopt;
    xcb_connection_t* connection = x11Connection();
    if (!connection) return std::nullopt;
    const xcb_keycode_t code = U_POSITION;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    bool grabbed = true;
    for (uint16_t lock : LOCK_VARIANTS) {
        auto cookie = xcb_grab_key_checked(connection, 1, root, XCB_MOD_MASK_CONTROL | lock, code, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
            free(error);
            if (lock == 0) grabbed = false;  // someone else holds Ctrl+U itself
        }
    }
    xcb_flush(connection);
    if (!grabbed) {
        const QString keys = QString::fromStdString(withPrimaryModifier(DEFAULT_SHORTCUT_KEY));
        showNoticeWhenIdle("Raccourci déjà pris",
                           QString("Un autre programme utilise déjà %1 : Quillberry ne le reçoit pas. Pour choisir un "
                                   "autre raccourci, clique sur l'icône Quillberry puis sur « Raccourci : %1 ».")
                               .arg(keys));
        return std::nullopt;
    }
    filter_->keycode = code;
    filter_->modifiers = XCB_MOD_MASK_CONTROL;
    return id;
}

}  // namespace quillberry::qt
