#pragma once
// One shortcut bound through the desktop portal's GlobalShortcuts interface, where the
// desktop offers it (KDE Plasma, GNOME 48 and later, Hyprland).

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QTimer>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace quillberry::wayland {

class GlobalShortcut : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Bound, Unavailable };
    // Asks at once; `settled` is called once, when the shortcut is bound or cannot be
    // (no portal, a refusal, no key given to it, or no answer in time). `pressed` is called
    // on each activation.
    GlobalShortcut(QString appId, QString id, QString description, QString preferredTrigger,
                   std::function<void()> pressed, std::function<void(Outcome)> settled);
    ~GlobalShortcut() override;
    // Called with the desktop's own description of the bound keys ("Ctrl+U"), when bound and
    // whenever the user rebinds them in the desktop's settings.
    void onDescribed(std::function<void(const QString&)> described) { described_ = std::move(described); }
    // Whether the desktop offers its own dialog to change the shortcut (interface version 2).
    bool configurable() const { return !session_.isEmpty() && frontVersion_ >= 2; }
    void configure();

private slots:
    void onResponse(uint response, const QVariantMap& results);
    // Taken whole: on Qt 6.4 the connection to a slot of the signal's own types failed.
    void onActivated(const QDBusMessage& signal);
    void onShortcutsChanged(const QDBusMessage& signal);
    void onPortalOwnerChanged();

private:
    using Then = std::function<void(uint response, const QVariantMap&)>;
    void call(QDBusMessage message, int limitMs, std::function<void(const QDBusMessage&)> then);
    void request(const QString& method, const QVariantList& args, QVariantMap options, int limitMs, Then then);
    void registerAppId();
    void readVersion();
    void readKdeVersion();
    void createSession();
    void listShortcuts();
    void bindShortcuts();
    void settle(Outcome outcome, const QString& description = {});
    void forgetSession();
    // How the desktop says to press this shortcut, when a request's results list it: empty
    // when it has no key.
    std::optional<QString> triggerIn(const QVariantMap& results) const;

    QString appId_, id_, description_, trigger_;
    std::function<void()> pressed_;
    std::function<void(Outcome)> settled_;
    std::function<void(const QString&)> described_;
    QDBusConnection bus_;
    QDBusServiceWatcher portal_;
    uint version_ = 1, frontVersion_ = 1;
    QString session_, requestPath_;
    Then then_;
    QTimer limit_;
    int tokens_ = 0;
    unsigned attempt_ = 0;  // a new one each time the portal restarts: a call of an earlier one is void
    bool settledOnce_ = false, bound_ = false, announced_ = false;
};

}  // namespace quillberry::wayland
