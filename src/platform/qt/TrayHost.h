#pragma once
// Whether a tray shows status icons over D-Bus (StatusNotifierItem), and a call when one comes.

#include <QDBusServiceWatcher>
#include <QObject>
#include <functional>

namespace quillberry::qt {

class TrayHost : public QObject {
    Q_OBJECT
public:
    // Asks the bus now, and waits for its answer (2 s at most).
    static bool there();
    // `arrived` is called once, when a registry with a host is on the bus.
    explicit TrayHost(std::function<void()> arrived);

private slots:
    void check();

private:
    std::function<void()> arrived_;
    QDBusServiceWatcher registry_;
};

}  // namespace quillberry::qt
