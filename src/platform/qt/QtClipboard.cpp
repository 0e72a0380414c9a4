#include <QApplication>
#include <QClipboard>
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

bool QtClipboard::isProcessTrusted() { return QGuiApplication::clipboard()->supportsSelection(); }

// X11 has no permission to grant: the answer is the same, and there is nothing to ask.
bool QtClipboard::isProcessTrustedWithPrompt() { return isProcessTrusted(); }

}  // namespace quillberry::qt
