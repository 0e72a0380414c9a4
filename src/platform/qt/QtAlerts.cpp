#include "platform/qt/QtAlerts.h"

#include <malloc.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "platform/qt/QtPlatform.h"

namespace quillberry::qt {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

QIcon iconFor(const std::optional<AlertStyle>& style) {
    QStyle* s = QApplication::style();
    if (style == AlertStyle::Critical) return s->standardIcon(QStyle::SP_MessageBoxCritical);
    if (style == AlertStyle::Informational) return s->standardIcon(QStyle::SP_MessageBoxInformation);
    // The platform default: the application's own icon where it has one.
    QIcon app = QApplication::windowIcon();
    return app.isNull() ? s->standardIcon(QStyle::SP_MessageBoxInformation) : app;
}

// Qt lays out a paragraph whole: one line of a megabyte takes it most of a minute, and the
// app, which serves the clipboard to every other program, with it. The viewer shows over-long
// lines cut into paragraphs of at most LONGEST_SHOWN_LINE characters (at a space where one
// is near), which it lays out only when scrolled to. Only what is shown is cut: the clipboard
// holds the text as received, and is written again when the notice closes.
constexpr qsizetype LONGEST_SHOWN_LINE = 1000;
}  // namespace

QString shownText(const QString& text) {
    QString shown;
    shown.reserve(text.size() + text.size() / LONGEST_SHOWN_LINE);
    qsizetype lineStart = 0;
    for (QChar c : text) {
        if (shown.size() - lineStart >= LONGEST_SHOWN_LINE && c != '\n') {
            qsizetype cut = -1;
            for (qsizetype k = shown.size() - 1; cut < 0 && k > shown.size() - LONGEST_SHOWN_LINE / 2; --k)
                if (shown[k] == ' ') cut = k;
            if (cut >= 0) shown[cut] = '\n', lineStart = cut + 1;
            else if (c.isLowSurrogate()) shown.insert(shown.size() - 1, '\n'), lineStart = shown.size() - 1;
            else shown += '\n', lineStart = shown.size();
        }
        shown += c;
        if (c == '\n') lineStart = shown.size();
    }
    return shown;
}

namespace {
QWidget* resultViewer(const ResultViewerAccessory& spec) {
    auto* viewer = new QPlainTextEdit;
    viewer->setObjectName("resultViewer");
    viewer->setFixedSize(int(spec.width), int(spec.height));
    viewer->setReadOnly(true);
    viewer->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont font = viewer->font();
    font.setPixelSize(int(spec.font.pointSize));
    viewer->setFont(font);
    viewer->document()->setDocumentMargin(spec.inset);
    viewer->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewer->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewer->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewer->setPlainText(shownText(q(spec.text)));
    return viewer;
}
}  // namespace

AlertDialog::AlertDialog(const AlertSpec& spec) {
    setObjectName("quillberryAlert");
    setWindowTitle("Quillberry");
    setWindowRole("quillberry-alert");
    setModal(true);

    auto* iconLabel = new QLabel;
    iconLabel->setObjectName("alertIcon");
    iconLabel->setPixmap(iconFor(spec.style).pixmap(48, 48));
    iconLabel->setAlignment(Qt::AlignTop);

    auto* column = new QVBoxLayout;
    addTexts(*column, spec);
    if (spec.resultViewer) column->addWidget(resultViewer(*spec.resultViewer));
    if (spec.textField) {
        field_ = new QLineEdit;
        field_->setObjectName("textField");
        field_->setFixedSize(int(spec.textField->width), int(spec.textField->height));
        field_->setPlaceholderText(q(spec.textField->placeholder));
        column->addWidget(field_);
    }
    addButtons(*column, spec.buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(iconLabel, 0, Qt::AlignTop);
    layout->addLayout(column, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    if (field_) field_->setFocus();
    else buttons_.front()->setFocus();
}

void AlertDialog::addTexts(QVBoxLayout& column, const AlertSpec& spec) {
    // Texts are shown as they are: an accepted address such as "a<b>@c.fr" is not markup.
    auto* message = new QLabel(q(spec.messageText));
    message->setTextFormat(Qt::PlainText);
    message->setObjectName("messageText");
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setWordWrap(true);
    message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // As wide as an explanation would be: a notice of one line keeps it on one line.
    message->setMinimumWidth(300);
    column.addWidget(message);
    if (spec.informativeText) {
        auto* info = new QLabel(q(*spec.informativeText));
        info->setTextFormat(Qt::PlainText);
        info->setObjectName("informativeText");
        info->setWordWrap(true);
        info->setTextInteractionFlags(Qt::TextSelectableByMouse);
        info->setMinimumWidth(300);
        column.addWidget(info);
    }
}

void AlertDialog::addButtons(QVBoxLayout& column, const std::vector<std::string>& buttons) {
    // With no button of its own, an alert shows the platform's single acknowledgement.
    const std::vector<std::string> titles = buttons.empty() ? std::vector<std::string>{"OK"} : buttons;
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (size_t i = 0; i < titles.size(); ++i) {
        auto* button = new QPushButton(q(titles[i]));
        button->setObjectName(QString("alertButton%1").arg(i));
        button->setAutoDefault(false);
        buttons_.push_back(button);
        connect(button, &QPushButton::clicked, this, [this, i] {
            chosen_ = int(i);
            accept();
        });
        if (titles[i] == "Annuler") cancelIndex_ = int(i);
    }
    // The first button sits rightmost, so the row is filled from the last one.
    for (auto it = buttons_.rbegin(); it != buttons_.rend(); ++it) row->addWidget(*it);
    buttons_.front()->setDefault(true);
    column.addLayout(row);
}

void AlertDialog::reject() {
    chosen_ = -1;
    QDialog::reject();
}

// A dialog closed without a button (Escape, its close button, the app quitting) answers
// "Annuler" where there is one, and otherwise the only way out of a notice: its first
// button. It never counts as "Continuer" or "Activer".
AlertAnswer AlertDialog::answer() const {
    int index = chosen_ >= 0 ? chosen_ : cancelIndex_;
    return {ALERT_FIRST_BUTTON_RETURN + index, field_ ? field_->text().toStdString() : std::string()};
}

AlertAnswer QtAlerts::runModal(const AlertSpec& spec) {
    AlertAnswer answer;
    {
        AlertDialog dialog(spec);
        dialog.exec();
        answer = dialog.answer();
    }
    // A big reply's text and layout are gone with the dialog; hand the pages back to the
    // system, or an idle tray app keeps the peak of its biggest run for good.
    malloc_trim(0);
    return answer;
}

}  // namespace quillberry::qt
