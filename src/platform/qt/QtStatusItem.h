#pragma once

#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "platform/StatusBar.h"

namespace quillberry::qt {

class Session;
QPixmap pixmapOf(const Image& image);

// The status menu. Shortcuts of a tray menu's actions do not fire while it is open, so
// the menu handles its key equivalents itself.
class StatusMenu : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A status item on the system tray. Trays show icons only, so the button's title is
// drawn into the icon.
class QtStatusItem : public StatusItem, private StatusButton {
public:
    explicit QtStatusItem(const Session& session);
    ~QtStatusItem() override;
    StatusButton* button() override { return this; }
    void setMenu(std::vector<MenuItem> items, std::function<void(const std::string&)> perform) override;

private:
    void setImage(std::shared_ptr<Image> image) override;
    void setTitle(const std::string& title) override;
    void showTray();
    void refresh();
    void refreshSoon();

    const Session& session_;
    QObject context_;  // of what is queued for later: it goes with the item
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QObject> trayHost_;  // watched for until there is a tray
    std::unique_ptr<QObject> refresher_;
    bool refreshQueued_ = false;
    std::unique_ptr<StatusMenu> menu_;
    std::shared_ptr<Image> image_;
    std::string title_;
    std::map<std::pair<std::shared_ptr<Image>, std::string>, QIcon> looks_;
};

}  // namespace quillberry::qt
