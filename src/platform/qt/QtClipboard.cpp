#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "config/Keys.h"
#include "config/Limits.h"
#include "platform/qt/QtAlerts.h"
#include "platform/qt/QtPlatform.h"
#include "platform/qt/X11Selection.h"
#include "platform/wayland/DataControl.h"

namespace quillberry::qt {

namespace {
// How long another program may take to answer each step of a read.
constexpr std::chrono::seconds READ_LIMIT{5};

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

// Holds the text to write until the next key or button press on one of our windows, and
// writes it then, while that press's serial is the newest.
class QtClipboard::WriteOnInput : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (pending && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress)) {
            QGuiApplication::clipboard()->setText(QString::fromStdString(*pending));
            pending.reset();
        }
        return false;
    }
    std::optional<std::string> pending;
    std::optional<std::string> written;  // this run's, already pending or written
};

QtClipboard::QtClipboard(Session& session, const std::string& bundleId)
    : session_(session), grantPath_(configFile(bundleId, ".automatic-mode").toStdString()) {
    if (!session_.wayland) return;
    // Also the way on when a compositor withdraws the protocol.
    writeOnInput_ = std::make_unique<WriteOnInput>();
    qApp->installEventFilter(writeOnInput_.get());
    // A copy made in one of our windows: Qt's word that it holds the clipboard is true again.
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::changed, writeOnInput_.get(),
                     [this](QClipboard::Mode mode) {
                         if (mode == QClipboard::Clipboard && !writingThroughQt_) qtMayClaimTheClipboard_ = false;
                     });
}

QtClipboard::~QtClipboard() = default;

bool QtClipboard::throughOurWindows() const { return session_.wayland && !session_.dataControl(); }

// What this app holds itself (through Qt: text selected or copied in one of its windows) is
// taken from Qt: asked through the X server or the compositor, it would have to be served by
// this very thread, which is waiting for it. What others hold on X11 is read whole (the notice
// names its size), by a reader that sees the owner go; through data-control, up to just past
// the request limit: a longer text stays too long, and costs no more.
std::optional<std::string> QtClipboard::read(QClipboard::Mode mode) {
    auto* dataControl = session_.dataControl();
    const bool ours = mode == QClipboard::Clipboard
                          ? QGuiApplication::clipboard()->ownsClipboard() && !qtMayClaimTheClipboard_
                          : QGuiApplication::clipboard()->ownsSelection();
    if (ours || (!dataControl && session_.wayland)) return plainText(mode);
    if (!dataControl) return readX11Selection(mode == QClipboard::Clipboard ? "CLIPBOARD" : "PRIMARY", READ_LIMIT);
    const auto which = mode == QClipboard::Clipboard ? wayland::Selection::Clipboard : wayland::Selection::Primary;
    return dataControl->read(which, READ_LIMIT, MAX_REQUEST_BYTES);
}

std::optional<std::string> QtClipboard::stringForType() {
    if (overLimit_) return std::exchange(overLimit_, std::nullopt);
    if (throughOurWindows()) return askForText();
    return decoded(read(QClipboard::Clipboard));
}

// A small window of ours: once it has the focus, the compositor hands it the clipboard, which
// fills the field; Return (or the button) sends it, after any edit the user makes.
std::optional<std::string> QtClipboard::askForText() {
    writeOnInput_->written.reset(), writeOnInput_->pending.reset();  // a new run
    QDialog dialog;
    dialog.setWindowTitle("Quillberry");
    auto* column = new QVBoxLayout(&dialog);
    auto* label = new QLabel("Texte à améliorer :");
    label->setTextFormat(Qt::PlainText);
    auto* field = new QPlainTextEdit;
    field->setPlaceholderText(QString::fromStdString("Colle ici le texte (" + withPrimaryModifier("V") + ")"));
    auto* buttons = new QDialogButtonBox;
    QPushButton* send = buttons->addButton("Améliorer", QDialogButtonBox::AcceptRole);
    buttons->addButton("Annuler", QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    column->addWidget(label), column->addWidget(field), column->addWidget(buttons);
    send->setDefault(true);
    send->setFocus();
    // What the window read, when it is not what the field shows: a text too long to send,
    // which is not shown at all (the run fails as for any), or one with over-long lines, shown
    // cut and read-only (its editing would send the cuts).
    std::optional<QString> read;
    auto fill = [&] {
        if (read || !field->toPlainText().isEmpty()) return;
        const QString text = QGuiApplication::clipboard()->text();
        if (std::size_t(text.size()) > MAX_REQUEST_BYTES || text.toUtf8().size() > qsizetype(MAX_REQUEST_BYTES)) {
            read = text.left(qsizetype(MAX_REQUEST_BYTES) + 1);  // still too long, and no longer
            return dialog.accept();
        }
        const QString shown = shownText(text);
        if (shown != text) read = text, field->setReadOnly(true);
        field->setPlainText(shown);
    };
    QObject::connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, &dialog, fill);
    QTimer::singleShot(0, &dialog, fill);
    dialog.setFixedSize(480, 260);  // a small window, which tiling desktops float as a dialog
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return (read ? *read : field->toPlainText()).toStdString();
}

void QtClipboard::clearContents() {
    overLimit_.reset();
    if (auto* dataControl = session_.dataControl()) return dataControl->clear();
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
}

void QtClipboard::replaceWithString(const std::string& text) {
    overLimit_.reset();
    if (throughOurWindows()) {
        // The run writes its result twice, around its notice: the press that closes the
        // notice writes the first, and the second must not wait for a press in a later run
        // (so a part copied from the notice's viewer stays, here, on the clipboard).
        if (writeOnInput_->written == text) return;
        writeOnInput_->written = writeOnInput_->pending = text;
        return;
    }
    // A write the compositor refused falls back on Qt, which succeeds when one of our windows
    // has the focus.
    if (auto* dataControl = session_.dataControl(); dataControl && dataControl->write(text)) return;
    // One plain-text item; every earlier form (rich text, images) is dropped with the
    // old owner.
    auto* data = new QMimeData;
    data->setText(QString::fromStdString(text));
    writingThroughQt_ = true;
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
    writingThroughQt_ = false;
    // Refused for want of focus, the write leaves Qt claiming the clipboard all the same.
    qtMayClaimTheClipboard_ = session_.wayland;
}

// On X11 the selection is already published as PRIMARY by whichever program holds it, and
// on Wayland the data-control protocol hands it over. Copying it avoids a synthetic Ctrl+C,
// which would interrupt a program in a terminal and, sent while our key grab is active,
// would reach this app instead of the user's.
void QtClipboard::copySelection() {
    auto* dataControl = session_.dataControl();
    if (session_.wayland && (!dataControl || !dataControl->offersPrimary())) {
        if (auto selected = plainText(QClipboard::Selection)) replaceWithString(*selected);
        return;
    }
    std::optional<std::string> selected = read(QClipboard::Selection);
    // A selection read only in part is never written to the clipboard (a cut text, maybe cut
    // mid-character, in place of the user's): the run reads it as it is, too long, and fails.
    if (selected && selected->size() > MAX_REQUEST_BYTES) overLimit_ = std::move(selected);
    else if (selected) replaceWithString(*decoded(std::move(selected)));
}

// X11 lets any client read the selection, so there is no system permission to ask for.
// Automatic mode replaces the clipboard with whatever is selected, which surprises a user
// who copied with Ctrl+C and then selected something else; so, as where the system asks,
// it is in force only once the user has asked for it ("Activer"). The grant lives
// outside the app's preferences, like a system permission, in the user's configuration
// directory; deleting the file withdraws it.
bool QtClipboard::isProcessTrusted() {
    return selectionReadable() && QFileInfo::exists(QString::fromStdString(grantPath_));
}

bool QtClipboard::isProcessTrustedWithPrompt() {
    bool trusted = isProcessTrusted();
    if (!trusted && selectionReadable()) writePrivateFile(QString::fromStdString(grantPath_), "granted\n");
    return trusted;
}

void QtClipboard::withdrawTrust() { QFile::remove(QString::fromStdString(grantPath_)); }

bool QtClipboard::selectionReadable() const {
    if (auto* dataControl = session_.dataControl()) return dataControl->offersPrimary();
    if (throughOurWindows()) return false;  // the selection would need a window of its own
    return QGuiApplication::clipboard()->supportsSelection();
}

}  // namespace quillberry::qt
