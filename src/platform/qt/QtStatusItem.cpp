#include "platform/qt/QtStatusItem.h"

#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <functional>
#include <utility>

#include "config/Keys.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/TrayHost.h"

namespace quillberry::qt {

namespace {
constexpr int ICON_PIXELS = 64;  // drawn large; the tray scales it to its own size

QPixmap render(const QPixmap* image, const QString& title) {
    const bool withText = !title.isEmpty();
    const int width = image && withText ? ICON_PIXELS * 2 : ICON_PIXELS;
    QPixmap canvas(width, ICON_PIXELS);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    int x = 0;
    if (image && !image->isNull()) {
        painter.drawPixmap(QRect(0, 0, ICON_PIXELS, ICON_PIXELS), *image);
        x = ICON_PIXELS;
    }
    if (withText) {
        // White text on a dark rounded tile reads on light and dark panels alike. The text is
        // centred and fitted by its drawn outline, not by font metrics: "..." sits on the
        // baseline and would otherwise show as three specks at the bottom of the icon.
        const QRectF tile(x + 4, 6, ICON_PIXELS - 8, ICON_PIXELS - 12);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(40, 40, 40, 235));
        painter.drawRoundedRect(tile, 14, 14);
        QFont font;
        font.setBold(true);
        font.setPixelSize(48);
        QPainterPath path;
        path.addText(0, 0, font, title);
        const QRectF drawn = path.boundingRect();
        const QRectF room = tile.adjusted(8, 8, -8, -8);
        if (!drawn.isEmpty()) {
            const double scale = std::min({room.width() / drawn.width(), room.height() / drawn.height(), 1.0});
            QTransform fit;
            fit.translate(room.center().x(), room.center().y());
            fit.scale(scale, scale);
            fit.translate(-drawn.center().x(), -drawn.center().y());
            painter.fillPath(fit.map(path), QColor(245, 245, 245));
        }
    }
    return canvas;
}
}  // namespace

void StatusMenu::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & Qt::ControlModifier) {
        for (QAction* action : actions()) {
            if (!action->shortcut().isEmpty() && action->shortcut()[0].key() == Qt::Key(event->key()) &&
                action->isEnabled()) {
                close();
                action->trigger();
                return;
            }
        }
    }
    QMenu::keyPressEvent(event);
}

// Qt settles whether the tray is a D-Bus one once per process, at its first tray icon or
// question about the tray, and Wayland has no other kind: an app started before its session's
// tray (an autostart racing the panel) would have no icon for good. There the icon is made once
// a tray is on the bus. (X11's own trays are followed as they come and go.)
QtStatusItem::QtStatusItem(const Session& session) : session_(session) {
    if (!session.wayland || TrayHost::there()) showTray();
    else trayHost_ = std::make_unique<TrayHost>([this] { showTray(); });
    tellWhenNoTray(&context_, [this] { return tray_ && QSystemTrayIcon::isSystemTrayAvailable(); });
}

void QtStatusItem::showTray() {
    tray_ = std::make_unique<QSystemTrayIcon>();
    refresh();
    if (menu_) tray_->setContextMenu(menu_.get());
    tray_->show();
    // A click on a status item opens its menu; the tray's context menu covers the
    // other button.
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
        if (menu_ && reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
    });
}

QtStatusItem::~QtStatusItem() {
    if (tray_) tray_->hide();
}

void QtStatusItem::setImage(std::shared_ptr<Image> image) {
    image_ = std::move(image);
    refreshSoon();
}

void QtStatusItem::setTitle(const std::string& title) {
    title_ = title;
    refreshSoon();
}

namespace {
class Refresher : public QObject {
public:
    explicit Refresher(std::function<void()> refresh) : refresh_(std::move(refresh)) {}
    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        refresh_();
        return true;
    }

private:
    std::function<void()> refresh_;
};
}  // namespace

// A press changes the look and queues the clipboard's read in one go. Drawn after the work
// already queued, at low priority, the new look costs the press nothing (rendering it took
// about as long as the key's way from the X server), and the image and title set together are
// drawn once.
void QtStatusItem::refreshSoon() {
    if (std::exchange(refreshQueued_, true)) return;
    if (!refresher_) refresher_ = std::make_unique<Refresher>([this] { refreshQueued_ = false, refresh(); });
    QCoreApplication::postEvent(refresher_.get(), new QEvent(QEvent::User), Qt::LowEventPriority);
}

// Each look is drawn once and its icon kept: with a new icon at every press, Qt's caches of
// its scaled copies grew the app by about 6 KB a press (5.6 MB over 900 presses).
void QtStatusItem::refresh() {
    if (!tray_) return;                     // drawn when there is a tray
    if (looks_.size() > 8) looks_.clear();  // a few looks exist; this only bounds a surprise
    QIcon& icon = looks_[{image_, title_}];
    if (icon.isNull()) {
        QPixmap image;
        if (image_) image = pixmapOf(*image_);
        icon = QIcon(render(image_ ? &image : nullptr, QString::fromStdString(title_)));
    }
    tray_->setIcon(icon);
    const QString limits = session_.limits();
    tray_->setToolTip(limits.isEmpty() ? QStringLiteral("Quillberry") : QStringLiteral("Quillberry — ") + limits);
}

void QtStatusItem::setMenu(std::vector<MenuItem> items, std::function<void(const std::string&)> perform) {
    // Built again in place when the shortcut changes: a tray that shows it over D-Bus keeps the
    // menu it registered, and a new one would have to be registered again.
    if (menu_) {
        menu_->clear();
    } else {
        menu_ = std::make_unique<StatusMenu>();
        menu_->setObjectName("quillberry-status-menu");
        if (tray_) tray_->setContextMenu(menu_.get());
    }
    for (const MenuItem& item : items) {
        if (item.separator) {
            menu_->addSeparator();
            continue;
        }
        QAction* action = menu_->addAction(QString::fromStdString(item.title));
        if (item.action.empty()) {
            action->setEnabled(false);  // informational: shown greyed, cannot be chosen
            continue;
        }
        if (!item.keyEquivalent.empty()) {
            const std::string keys = withPrimaryModifier(item.keyEquivalent);
            action->setShortcut(QKeySequence(QString::fromStdString(keys).toUpper()));
        }
        // Queued, so the command (which may run a modal dialog) starts after the menu has
        // closed instead of inside its event handling.
        QObject::connect(
            action, &QAction::triggered, menu_.get(),
            [perform, name = item.action] {
                auto run = [perform, name] { perform(name); };
                QMetaObject::invokeMethod(qApp, run, Qt::QueuedConnection);
            },
            Qt::DirectConnection);
    }
}

}  // namespace quillberry::qt
