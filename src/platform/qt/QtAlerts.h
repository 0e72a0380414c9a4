#pragma once

#include <QDialog>

#include "platform/Alerts.h"

class QLineEdit;
class QVBoxLayout;
class QPushButton;

namespace quillberry::qt {

// `text` with its over-long lines cut for display: Qt lays out a paragraph whole, and one line
// of a megabyte takes it minutes, and the app (which serves the clipboard) with it. The text
// is the same when no line is over-long.
QString shownText(const QString& text);

// The alert model as a small dialog: icon by style, bold message, informative text,
// optional accessory, buttons with the first one rightmost and default.
class AlertDialog : public QDialog {
public:
    explicit AlertDialog(const AlertSpec& spec);
    AlertAnswer answer() const;
    const std::vector<QPushButton*>& buttons() const { return buttons_; }

protected:
    void reject() override;

private:
    void addTexts(QVBoxLayout& column, const AlertSpec& spec);
    void addButtons(QVBoxLayout& column, const std::vector<std::string>& buttons);

    QLineEdit* field_ = nullptr;
    std::vector<QPushButton*> buttons_;
    int chosen_ = -1;  // -1: closed without a button (Escape, close button, quit)
    int cancelIndex_ = 0;
};

}  // namespace quillberry::qt
