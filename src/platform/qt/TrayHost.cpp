#include "platform/qt/TrayHost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <utility>

namespace quillberry::qt {

namespace {
const QString REGISTRY = "org.kde.StatusNotifierWatcher";
const QString REGISTRY_PATH = "/StatusNotifierWatcher";

// A host is what shows the items; the registry alone shows nothing. Never starts one: a bus
// that can start a registry on demand has no host with it.
QDBusMessage askForHost() {
    QDBusMessage get =
        QDBusMessage::createMethodCall(REGISTRY, REGISTRY_PATH, "org.freedesktop.DBus.Properties", "Get");
    get.setArguments({REGISTRY, QString("IsStatusNotifierHostRegistered")});
    get.setAutoStartService(false);
    return get;
}

bool saysYes(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "v" &&
           reply.arguments()[0].value<QDBusVariant>().variant().toBool();
}
}  // namespace

bool TrayHost::there() { return saysYes(QDBusConnection::sessionBus().call(askForHost(), QDBus::Block, 2000)); }

TrayHost::TrayHost(std::function<void()> arrived)
    : arrived_(std::move(arrived)),
      registry_(REGISTRY, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration) {
    connect(&registry_, &QDBusServiceWatcher::serviceRegistered, this, &TrayHost::check);
    // A registry may come first and its host a moment later (a bar that keeps both).
    QDBusConnection::sessionBus().connect(REGISTRY, REGISTRY_PATH, REGISTRY, "StatusNotifierHostRegistered", this,
                                          SLOT(check()));
    check();  // (it may have come between the caller's question and the watch)
}

void TrayHost::check() {
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(askForHost(), 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (arrived_ && saysYes(watcher->reply())) std::exchange(arrived_, nullptr)();
    });
}

}  // namespace quillberry::qt
