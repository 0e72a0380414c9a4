#include "platform/wayland/GlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <algorithm>

namespace quillberry::wayland {

namespace {
const QString PORTAL = "org.freedesktop.portal.Desktop";
const QString PORTAL_PATH = "/org/freedesktop/portal/desktop";
const QString SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts";
using Shortcuts = QList<QPair<QString, QVariantMap>>;

// The portal asks the user nothing to make a session or list its shortcuts; binding may open
// a dialog on some desktops, which the user must be given time to answer.
constexpr int QUICK_MS = 10'000, DIALOG_MS = 120'000;

QVariant shortcutList(const QString& id, const QString& description, const QString& trigger) {
    return QVariant::fromValue(
        Shortcuts{{id, QVariantMap{{"description", description}, {"preferred_trigger", trigger}}}});
}
}  // namespace

GlobalShortcut::GlobalShortcut(QString appId, QString id, QString description, QString preferredTrigger,
                               std::function<void()> pressed, std::function<void(Outcome)> settled)
    : appId_(std::move(appId)), id_(std::move(id)), description_(std::move(description)),
      trigger_(std::move(preferredTrigger)), pressed_(std::move(pressed)), settled_(std::move(settled)) {
    qDBusRegisterMetaType<QPair<QString, QVariantMap>>();
    qDBusRegisterMetaType<Shortcuts>();
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this, [this] { settle(Outcome::Unavailable); });
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QTimer::singleShot(0, this, [this] { settle(Outcome::Unavailable); });
        return;
    }
    // The interface's version tells whether the portal offers it at all.
    QDBusMessage get = QDBusMessage::createMethodCall(PORTAL, PORTAL_PATH, "org.freedesktop.DBus.Properties", "Get");
    get << SHORTCUTS << QString("version");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(get, QUICK_MS), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher->isError()) return settle(Outcome::Unavailable);
        // Connected once the portal answers, which the call above may have started.
        QDBusConnection::sessionBus().connect(PORTAL, PORTAL_PATH, SHORTCUTS, "Activated", this,
                                              SLOT(onActivated(QDBusMessage)));
        registerAppId();
    });
}

// Each call answers with a Request object whose Response signal carries the result. Its
// path is known in advance from our bus name and the token, so the signal is connected
// before the call: a fast portal cannot answer into the void.
void GlobalShortcut::request(const QString& method, const QVariantList& args, QVariantMap options, int limitMs,
                             Then then) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString token = QString("quillberry%1").arg(++tokens_);
    options["handle_token"] = token;
    QString sender = bus.baseService().mid(1).replace('.', '_');
    if (!requestPath_.isEmpty()) {
        bus.disconnect(PORTAL, requestPath_, "org.freedesktop.portal.Request", "Response", this,
                       SLOT(onResponse(uint, QVariantMap)));
    }
    requestPath_ = PORTAL_PATH + "/request/" + sender + "/" + token;
    bus.connect(PORTAL, requestPath_, "org.freedesktop.portal.Request", "Response", this,
                SLOT(onResponse(uint, QVariantMap)));
    then_ = std::move(then);
    limit_.start(limitMs);
    QDBusMessage call = QDBusMessage::createMethodCall(PORTAL, PORTAL_PATH, SHORTCUTS, method);
    call.setArguments(args + QVariantList{options});
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, limitMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher->isError()) settle(Outcome::Unavailable);
    });
}

void GlobalShortcut::onResponse(uint response, const QVariantMap& results) {
    limit_.stop();
    if (settledOnce_ || !then_) return;
    if (response != 0) return settle(Outcome::Unavailable);  // 1: the user said no; 2: other
    auto then = std::move(then_);
    then(results);
}

// Portals from 1.19 on take the app id from their host registry (older ones from the
// systemd scope; 1.21 rejects a session without an id). Sent ahead of the session on the same
// connection, which the bus delivers in order: no wait, and an older portal's error is moot.
void GlobalShortcut::registerAppId() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(PORTAL, PORTAL_PATH, "org.freedesktop.host.portal.Registry", "Register");
    call << appId_ << QVariantMap();
    call.setAutoStartService(false);
    QDBusConnection::sessionBus().asyncCall(call);
    createSession();
}

void GlobalShortcut::createSession() {
    // The shortcut goes in the session's options too: KDE Plasma 5.27 to 6.0 registers only
    // what it finds there, and later portals ignore it.
    QVariantMap options{{"session_handle_token", "quillberry"},
                        {"shortcuts", shortcutList(id_, description_, trigger_)}};
    request("CreateSession", {}, options, QUICK_MS, [this](const QVariantMap& results) {
        // A string by the portal's specification; some versions send an object path.
        const QVariant handle = results.value("session_handle");
        session_ = handle.metaType() == QMetaType::fromType<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                               : handle.toString();
        if (session_.isEmpty()) return settle(Outcome::Unavailable);
        listShortcuts();
    });
}

// Bound already (in this session's options, or kept by the desktop from an earlier run):
// binding again would open the desktop's settings for nothing.
void GlobalShortcut::listShortcuts() {
    request("ListShortcuts", {QVariant::fromValue(QDBusObjectPath(session_))}, {}, QUICK_MS,
            [this](const QVariantMap& results) {
                if (lists(results)) return settle(Outcome::Bound);
                bindShortcuts();
            });
}

void GlobalShortcut::bindShortcuts() {
    const QVariantList args{QVariant::fromValue(QDBusObjectPath(session_)), shortcutList(id_, description_, trigger_),
                            QString()};
    request("BindShortcuts", args, {}, DIALOG_MS,
            [this](const QVariantMap& results) { settle(lists(results) ? Outcome::Bound : Outcome::Unavailable); });
}

bool GlobalShortcut::lists(const QVariantMap& results) const {
    Shortcuts bound;
    results.value("shortcuts").value<QDBusArgument>() >> bound;
    return std::any_of(bound.begin(), bound.end(), [this](const auto& shortcut) { return shortcut.first == id_; });
}

void GlobalShortcut::onActivated(const QDBusMessage& signal) {
    const QVariantList args = signal.arguments();
    if (args.size() < 2 || !pressed_) return;
    if (args[0].value<QDBusObjectPath>().path() == session_ && args[1].toString() == id_) pressed_();
}

void GlobalShortcut::settle(Outcome outcome) {
    limit_.stop();
    then_ = nullptr;
    if (settledOnce_) return;
    settledOnce_ = true;
    if (settled_) settled_(outcome);
}

}  // namespace quillberry::wayland
