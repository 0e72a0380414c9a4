#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMimeData>
#include <QSocketNotifier>

#include "platform/qt/QtPlatform.h"
#include "platform/wayland/DataControl.h"

namespace quillberry::qt {

namespace {
std::optional<std::string> plainText(QClipboard::Mode mode) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}

// Bytes from another program become text as Qt makes it on X11: invalid UTF-8 is replaced,
// never passed on.
std::optional<std::string> decoded(std::optional<std::string> bytes) {
    if (!bytes) return std::nullopt;
    return QString::fromUtf8(bytes->data(), qsizetype(bytes->size())).toStdString();
}
}  // namespace

// X11 lets any client read the selection, so there is no system permission to ask for.
// Automatic mode replaces the clipboard with whatever is selected, which surprises a user
// who copied with Ctrl+C and then selected something else; so, as where the system asks,
// it is in force only once the user has asked for it ("Activer"). The grant lives
// outside the app's preferences, like a system permission, in the user's configuration
// directory; deleting the file withdraws it.
QtClipboard::QtClipboard(const std::string& bundleId)
    : grantPath_(configFile(bundleId, ".automatic-mode").toStdString()) {
    // Only a session that names its compositor: without WAYLAND_DISPLAY the library would
    // try a default socket, which on an X11 desktop may belong to someone else's session.
    if (!qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) return;
    dataControl_ = wayland::DataControl::connect();
    if (!dataControl_) return;
    notifier_ = std::make_unique<QSocketNotifier>(dataControl_->fd(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        dataControl_->dispatch();
        if (!dataControl_->usable()) notifier_->setEnabled(false);
    });
}

QtClipboard::~QtClipboard() = default;

std::string QtClipboard::dataControlProtocol() const {
    return dataControl_ && dataControl_->usable() ? dataControl_->protocol() : "";
}

std::optional<std::string> QtClipboard::stringForType() {
    if (dataControl_ && dataControl_->usable()) return decoded(dataControl_->read(wayland::Selection::Clipboard));
    return plainText(QClipboard::Clipboard);
}

void QtClipboard::clearContents() {
    if (dataControl_ && dataControl_->usable()) return dataControl_->clear();
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void QtClipboard::replaceWithString(const std::string& text) {
    // A write the compositor refused, or a protocol it withdrew, falls back on Qt, which
    // succeeds when one of our windows has the focus (the notice, for the second write).
    if (dataControl_ && dataControl_->usable() && dataControl_->write(text)) return;
    // One plain-text item; every earlier form (rich text, images) is dropped with the
    // old owner.
    auto* data = new QMimeData;
    data->setText(QString::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

// On X11 the selection is already published as PRIMARY by whichever program holds it, and
// on Wayland the data-control protocol hands it over. Copying it avoids a synthetic Ctrl+C,
// which would interrupt a program in a terminal and, sent while our key grab is active,
// would reach this app instead of the user's.
void QtClipboard::copySelection() {
    std::optional<std::string> selected;
    if (dataControl_ && dataControl_->offersPrimary()) selected = decoded(dataControl_->read(wayland::Selection::Primary));
    else selected = plainText(QClipboard::Selection);
    if (selected) replaceWithString(*selected);
}

bool QtClipboard::isProcessTrusted() {
    return selectionReadable() && QFileInfo::exists(QString::fromStdString(grantPath_));
}

bool QtClipboard::isProcessTrustedWithPrompt() {
    bool trusted = isProcessTrusted();
    if (!trusted && selectionReadable()) writePrivateFile(QString::fromStdString(grantPath_), "granted\n");
    return trusted;
}

bool QtClipboard::selectionReadable() const {
    if (dataControl_ && dataControl_->usable()) return dataControl_->offersPrimary();
    return QGuiApplication::clipboard()->supportsSelection();
}

}  // namespace quillberry::qt
