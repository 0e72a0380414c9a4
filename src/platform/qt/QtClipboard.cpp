#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QMimeData>

#include "platform/qt/QtPlatform.h"

namespace quillberry::qt {

namespace {
std::optional<std::string> plainText(QClipboard::Mode mode) {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData(mode);
    if (!data || !data->hasText()) return std::nullopt;
    return data->text().toStdString();
}
}  // namespace

std::optional<std::string> QtClipboard::stringForType() { return plainText(QClipboard::Clipboard); }

void QtClipboard::clearContents() { QGuiApplication::clipboard()->clear(QClipboard::Clipboard); }

void QtClipboard::replaceWithString(const std::string& text) {
    // One plain-text item; every earlier form (rich text, images) is dropped with the
    // old owner.
    auto* data = new QMimeData;
    data->setText(QString::fromStdString(text));
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

// On X11 the selection is already published as PRIMARY by whichever program holds it.
// Copying it avoids a synthetic Ctrl+C, which would interrupt a program in a terminal and,
// sent while our key grab is active, would reach this app instead of the user's.
void QtClipboard::copySelection() {
    if (auto selected = plainText(QClipboard::Selection)) replaceWithString(*selected);
}

// X11 lets any client read the selection, so there is no system permission to ask for.
// Automatic mode replaces the clipboard with whatever is selected, which surprises a user
// who copied with Ctrl+C and then selected something else; so, as where the system asks,
// it is in force only once the user has asked for it ("Activer"). The grant lives
// outside the app's preferences, like a system permission, in the user's configuration
// directory; deleting the file withdraws it.
QtClipboard::QtClipboard(const std::string& bundleId)
    : grantPath_(configFile(bundleId, ".automatic-mode").toStdString()) {}

bool QtClipboard::isProcessTrusted() {
    return QGuiApplication::clipboard()->supportsSelection() && QFileInfo::exists(QString::fromStdString(grantPath_));
}

bool QtClipboard::isProcessTrustedWithPrompt() {
    bool trusted = isProcessTrusted();
    if (!trusted && QGuiApplication::clipboard()->supportsSelection()) {
        writePrivateFile(QString::fromStdString(grantPath_), "granted\n");
    }
    return trusted;
}

}  // namespace quillberry::qt
