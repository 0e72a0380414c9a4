#include "platform/wayland/GlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <algorithm>
#include <utility>

namespace quillberry::wayland {

namespace {
const QString PORTAL = "org.freedesktop.portal.Desktop";
const QString PORTAL_PATH = "/org/freedesktop/portal/desktop";
const QString SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts";
// The portal asks the user nothing to register, make a session or list its shortcuts;
// binding may open a dialog on some desktops, which the user must be given time to answer.
constexpr int QUICK_MS = 10'000, DIALOG_MS = 120'000;

using Shortcuts = QList<QPair<QString, QVariantMap>>;

QVariant shortcutList(const QString& id, const QString& description, const QString& trigger) {
    return QVariant::fromValue(
        Shortcuts{{id, QVariantMap{{"description", description}, {"preferred_trigger", trigger}}}});
}

// GNOME describes a key as GTK writes an accelerator, in a sentence ("Press <Control>u"); the
// texts that name it read "Ctrl+U", as KDE writes it.
QString asKeys(QString description) {
    if (description.startsWith("Press ")) description.remove(0, 6);
    for (const auto& [gtk, keys] : {std::pair{"<Control>", "Ctrl+"},
                                    {"<Primary>", "Ctrl+"},
                                    {"<Shift>", "Shift+"},
                                    {"<Alt>", "Alt+"},
                                    {"<Super>", "Super+"}})
        description.replace(gtk, keys, Qt::CaseInsensitive);
    if (description.size() > 1 && description.back().isLower() && !description[description.size() - 2].isLetter())
        description.back() = description.back().toUpper();
    return description;
}

// Whether a value read from a portal's answer has the D-Bus type `signature`: what another
// program holding the portal's name sends is read only once it is known to be what it should.
bool isOfType(const QVariant& value, const char* signature) {
    return value.metaType() == QMetaType::fromType<QDBusArgument>() &&
           value.value<QDBusArgument>().currentSignature() == QLatin1String(signature);
}

QDBusMessage portalCall(const QString& interface, const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(PORTAL, PORTAL_PATH, interface, method);
    call.setArguments(args);
    return call;
}
}  // namespace

// A bus connection of our own: newer portals fix a connection's app id at its first call,
// and Qt's own calls on the shared connection (colour scheme, screenshot version; Qt 6.11
// registers by itself) would reach the portal first. On ours, the registration is the first.
GlobalShortcut::GlobalShortcut(QString appId, QString id, QString description, QString preferredTrigger,
                               std::function<void()> pressed, std::function<void(Outcome)> settled)
    : appId_(std::move(appId)), id_(std::move(id)), description_(std::move(description)),
      trigger_(std::move(preferredTrigger)), pressed_(std::move(pressed)), settled_(std::move(settled)),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QString("quillberry-portal-%1").arg(quintptr(this), 0, 16))),
      portal_(PORTAL, bus_, QDBusServiceWatcher::WatchForOwnerChange) {
    qDBusRegisterMetaType<QPair<QString, QVariantMap>>();
    qDBusRegisterMetaType<Shortcuts>();
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] { settle(Outcome::Unavailable); });
    connect(&portal_, &QDBusServiceWatcher::serviceOwnerChanged, this, &GlobalShortcut::onPortalOwnerChanged);
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, this, [this] { settle(Outcome::Unavailable); });
        return;
    }
    registerAppId();
}

GlobalShortcut::~GlobalShortcut() { QDBusConnection::disconnectFromBus(bus_.name()); }

void GlobalShortcut::call(QDBusMessage message, int limitMs, std::function<void(const QDBusMessage&)> then) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, limitMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, attempt = attempt_, then = std::move(then)] {
                watcher->deleteLater();
                if (attempt == attempt_) then(watcher->reply());
            });
}

// Portals from 1.19 on take a host app's id from this registration (older ones from the
// systemd scope, and answer with an error that changes nothing; 1.21 on refuse a session
// without an id). It also starts a portal that is started on demand.
void GlobalShortcut::registerAppId() {
    call(portalCall("org.freedesktop.host.portal.Registry", "Register", {appId_, QVariantMap()}), QUICK_MS,
         [this](const QDBusMessage&) { readVersion(); });
}

// The interface's version tells whether the portal offers it at all, and how it treats
// shortcuts it knows from an earlier run (below).
void GlobalShortcut::readVersion() {
    call(portalCall("org.freedesktop.DBus.Properties", "Get", {SHORTCUTS, QString("version")}), QUICK_MS,
         [this](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "v")
                 return settle(Outcome::Unavailable);
             frontVersion_ = version_ = reply.arguments()[0].value<QDBusVariant>().variant().toUInt();
             bus_.connect(PORTAL, PORTAL_PATH, SHORTCUTS, "Activated", this, SLOT(onActivated(QDBusMessage)));
             bus_.connect(PORTAL, PORTAL_PATH, SHORTCUTS, "ShortcutsChanged", this,
                          SLOT(onShortcutsChanged(QDBusMessage)));
             version_ < 2 ? readKdeVersion() : createSession();
         });
}

// KDE's own portal decides when a shortcut known from an earlier run is live, and some front
// ends report version 1 in front of a KDE portal of version 2 (the Debian snapshot's, with
// Plasma 6.7): there its own version counts. Asked only if it runs: never started for this.
void GlobalShortcut::readKdeVersion() {
    QDBusMessage get = QDBusMessage::createMethodCall("org.freedesktop.impl.portal.desktop.kde", PORTAL_PATH,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get.setArguments({QString("org.freedesktop.impl.portal.GlobalShortcuts"), QString("version")});
    get.setAutoStartService(false);
    call(get, QUICK_MS, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "v")
            version_ = std::max(version_, reply.arguments()[0].value<QDBusVariant>().variant().toUInt());
        createSession();
    });
}

// Each call answers with a Request object whose Response signal carries the result. Its
// path is known in advance from our bus name and the token, so the signal is connected
// before the call: a fast portal cannot answer into the void.
void GlobalShortcut::request(const QString& method, const QVariantList& args, QVariantMap options, int limitMs,
                             Then then) {
    const QString token = QString("quillberry%1").arg(++tokens_);
    options["handle_token"] = token;
    const QString sender = bus_.baseService().mid(1).replace('.', '_');
    const QString response = "org.freedesktop.portal.Request";
    if (!requestPath_.isEmpty())
        bus_.disconnect(PORTAL, requestPath_, response, "Response", this, SLOT(onResponse(uint, QVariantMap)));
    requestPath_ = PORTAL_PATH + "/request/" + sender + "/" + token;
    bus_.connect(PORTAL, requestPath_, response, "Response", this, SLOT(onResponse(uint, QVariantMap)));
    then_ = std::move(then);
    limit_.start(limitMs);
    call(portalCall(SHORTCUTS, method, args + QVariantList{options}), limitMs, [this](const QDBusMessage& reply) {
        if (reply.type() != QDBusMessage::ReplyMessage) settle(Outcome::Unavailable);
    });
}

void GlobalShortcut::onResponse(uint response, const QVariantMap& results) {
    limit_.stop();
    if (settledOnce_ || !then_) return;
    auto then = std::move(then_);
    then(response, results);
}

void GlobalShortcut::createSession() {
    // The shortcut goes in the session's options too: KDE Plasma 5.27 to 6.0 registers only
    // what it finds there, and later portals ignore it.
    QVariantMap options{{"session_handle_token", "quillberry"},
                        {"shortcuts", shortcutList(id_, description_, trigger_)}};
    request("CreateSession", {}, options, QUICK_MS, [this](uint response, const QVariantMap& results) {
        if (response != 0) return settle(Outcome::Unavailable);  // 1: the user said no; 2: other
        // A string by the portal's specification; some versions send an object path.
        const QVariant handle = results.value("session_handle");
        if (handle.metaType() == QMetaType::fromType<QDBusObjectPath>())
            session_ = handle.value<QDBusObjectPath>().path();
        else if (handle.metaType() == QMetaType::fromType<QString>()) session_ = handle.toString();
        if (session_.isEmpty()) return settle(Outcome::Unavailable);
        listShortcuts();
    });
}

// A shortcut the desktop knows from an earlier run is listed in the new session. KDE's
// portals of interface version 1 (Plasma up to 6.4) also make it live there, and a bind would
// open System Settings at every launch (up to 6.3). From version 2 on (Plasma 6.5+) a bind of
// known shortcuts asks nothing, and from Plasma 6.7 only a bind makes them live. GNOME lists
// nothing before a bind, and asks only about shortcuts it has not stored.
void GlobalShortcut::listShortcuts() {
    request("ListShortcuts", {QVariant::fromValue(QDBusObjectPath(session_))}, {}, QUICK_MS,
            [this](uint response, const QVariantMap& results) {
                const auto trigger = response == 0 ? triggerIn(results) : std::nullopt;
                if (trigger && version_ < 2)
                    return settle(trigger->isEmpty() ? Outcome::Unavailable : Outcome::Bound, *trigger);
                bindShortcuts();
            });
}

// WORKAROUND: GNOME's portal 48.0 answers a successful bind with an uninitialised response
// code; the shortcuts it returns are the truth, on every desktop. One without a key (the
// user declined it, or cleared it in the settings) is no shortcut.
void GlobalShortcut::bindShortcuts() {
    const QVariantList args{QVariant::fromValue(QDBusObjectPath(session_)), shortcutList(id_, description_, trigger_),
                            QString()};
    request("BindShortcuts", args, {}, DIALOG_MS, [this](uint, const QVariantMap& results) {
        const auto trigger = triggerIn(results);
        settle(trigger && !trigger->isEmpty() ? Outcome::Bound : Outcome::Unavailable, trigger.value_or(QString()));
    });
}

std::optional<QString> GlobalShortcut::triggerIn(const QVariantMap& results) const {
    if (!results.contains("shortcuts")) return std::nullopt;
    if (!isOfType(results.value("shortcuts"), "a(sa{sv})")) return QString();  // no key we can read
    for (const auto& [id, properties] : qdbus_cast<Shortcuts>(results.value("shortcuts"))) {
        if (id == id_) return asKeys(properties.value("trigger_description").toString());
    }
    return std::nullopt;
}

// Only a press in the session this shortcut made, with the signal's own types.
void GlobalShortcut::onActivated(const QDBusMessage& signal) {
    if (signal.signature() != "osta{sv}" || session_.isEmpty() || !pressed_) return;
    const QVariantList args = signal.arguments();
    if (args[0].value<QDBusObjectPath>().path() == session_ && args[1].toString() == id_) pressed_();
}

// The shortcuts as the user set them in the desktop's settings, ours among them.
void GlobalShortcut::onShortcutsChanged(const QDBusMessage& signal) {
    const QVariantList args = signal.arguments();
    if (signal.signature() != "oa(sa{sv})" || session_.isEmpty() || args[0].value<QDBusObjectPath>().path() != session_)
        return;
    if (auto trigger = triggerIn({{"shortcuts", args[1]}}); trigger && described_) described_(*trigger);
}

void GlobalShortcut::configure() {
    // The desktop shows its dialog and answers nothing more: a change comes as ShortcutsChanged.
    call(portalCall(SHORTCUTS, "ConfigureShortcuts",
                    {QVariant::fromValue(QDBusObjectPath(session_)), QString(), QVariantMap()}),
         DIALOG_MS, [](const QDBusMessage&) {});
}

// The portal restarted (an upgrade, a crash) and took its sessions along, or the calls in flight:
// the shortcut is bound again in a new session, as at launch, under the same id, so the desktop's
// stored key applies and nothing is asked. Only the first outcome is told: a launch notice is never
// shown twice. Where the bus starts the portal on demand, the first call starts it again.
void GlobalShortcut::onPortalOwnerChanged() {
    if (settledOnce_ && !bound_) return;  // given up at launch, and said so
    ++attempt_;
    forgetSession();
    settledOnce_ = false;
    registerAppId();  // (and where none can start it, again when it is back)
}

void GlobalShortcut::forgetSession() {
    limit_.stop();
    then_ = nullptr;
    session_.clear();
    bus_.disconnect(PORTAL, PORTAL_PATH, SHORTCUTS, "Activated", this, SLOT(onActivated(QDBusMessage)));
    bus_.disconnect(PORTAL, PORTAL_PATH, SHORTCUTS, "ShortcutsChanged", this, SLOT(onShortcutsChanged(QDBusMessage)));
}

void GlobalShortcut::settle(Outcome outcome, const QString& description) {
    limit_.stop();
    then_ = nullptr;
    if (settledOnce_) return;
    settledOnce_ = true;
    if (outcome == Outcome::Unavailable) forgetSession();  // given up: no press from it counts any more
    bound_ = bound_ || outcome == Outcome::Bound;
    if (outcome == Outcome::Bound && described_) described_(description);
    if (settled_ && !std::exchange(announced_, true)) settled_(outcome);
}

}  // namespace quillberry::wayland
