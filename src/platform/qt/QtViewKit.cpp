#include "platform/qt/QtViewKit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "platform/qt/QtPlatform.h"

namespace quillberry::qt {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }

QString css(const Color& c) {
    return QString("rgba(%1,%2,%3,%4)")
        .arg(int(c.red * 255 + 0.5))
        .arg(int(c.green * 255 + 0.5))
        .arg(int(c.blue * 255 + 0.5))
        .arg(c.alpha);
}

QFont qfont(const Font& f) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(int(f.pointSize));
    switch (f.weight.value_or(FontWeight::Regular)) {
        case FontWeight::Regular:
            font.setWeight(QFont::Normal);
            break;
        case FontWeight::Medium:
            font.setWeight(QFont::Medium);
            break;
        case FontWeight::Semibold:
            font.setWeight(QFont::DemiBold);
            break;
        case FontWeight::Bold:
            font.setWeight(QFont::Bold);
            break;
    }
    return font;
}
}  // namespace

void WidgetState::place() {
    if (!widget) return;
    QWidget* parent = widget->parentWidget();
    double parentHeight = parent ? parent->height() : frame.height;
    widget->setGeometry(int(frame.x), int(parentHeight - frame.y - frame.height), int(frame.width), int(frame.height));
}

void WidgetState::restyle() {
    if (!widget) return;
    QString sheet;
    if (layer && layerBackground) sheet += "background-color:" + css(*layerBackground) + ";";
    else if (!bordered) sheet += "background: transparent;";
    if (layer && cornerRadius > 0) sheet += QString("border-radius:%1px;").arg(cornerRadius);
    if (!bordered || layer) sheet += "border: none;";
    if (foreground) sheet += "color:" + css(*foreground) + ";";
    widget->setAttribute(Qt::WA_StyledBackground, layer);
    widget->setStyleSheet(sheet.isEmpty() ? QString() : widget->metaObject()->className() + QString("{") + sheet + "}");
}

void WidgetState::addChild(WidgetState& child) {
    if (!widget || !child.widget) return;
    child.widget->setParent(widget);
    child.widget->setHidden(child.hidden);
    child.place();
}

void WidgetState::destroy() {
    // A window deletes its children with it; whatever is left is ours to delete.
    delete widget.data();
}

template <class Base>
void QtViewOf<Base>::addSubview(View& child) {
    state.addChild(stateOf(child));
}

namespace {
using QtView = QtViewOf<View>;

class QtTextField : public QtViewOf<TextField> {
public:
    QtTextField(QLabel* label) : QtViewOf(label), label_(label) {
        state.bordered = false;
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
    }
    QtTextField(QLineEdit* edit) : QtViewOf(edit), edit_(edit) {}
    void setFont(const Font& f) override { state.widget->setFont(qfont(f)); }
    void setTextColor(const Color& c) override { state.foreground = c, state.restyle(); }
    void setAlignment(TextAlignment a) override {
        Qt::Alignment horizontal = a == TextAlignment::Center ? Qt::AlignHCenter : Qt::AlignLeft;
        if (label_) label_->setAlignment(horizontal | Qt::AlignTop);
        if (edit_) edit_->setAlignment(horizontal | Qt::AlignVCenter);
    }
    void setBezeled(bool b) override {
        state.bordered = b;
        if (edit_) edit_->setFrame(b);
        state.restyle();
    }
    void setEditable(bool e) override {
        if (edit_) edit_->setReadOnly(!e);
    }
    void setWordWrap(bool wraps) override {
        if (label_) label_->setWordWrap(wraps);
    }
    void setPlaceholderString(const std::string& p) override {
        if (edit_) edit_->setPlaceholderText(q(p));
    }
    void setStringValue(const std::string& t) override {
        if (label_) label_->setText(q(t));
        if (edit_) edit_->setText(q(t));
    }
    std::string stringValue() const override {
        if (label_) return label_->text().toStdString();
        return edit_ ? edit_->text().toStdString() : std::string();
    }

private:
    QPointer<QLabel> label_;
    QPointer<QLineEdit> edit_;
};

class QtButton : public QtViewOf<Button> {
public:
    QtButton() : QtViewOf(new QPushButton) {
        button()->setCursor(Qt::PointingHandCursor);
        QObject::connect(button(), &QPushButton::clicked, [this] {
            if (action_) action_();
        });
    }
    void setBordered(bool b) override {
        state.bordered = b;
        button()->setFlat(!b);
        state.restyle();
    }
    void setFont(const Font& f) override { button()->setFont(qfont(f)); }
    void setContentTintColor(const Color& c) override { state.foreground = c, state.restyle(); }
    void setTitle(const std::string& t) override { button()->setText(q(t)); }
    void setAction(const std::string& name, std::function<void()> a) override {
        button()->setObjectName(q(name));
        action_ = std::move(a);
    }

private:
    QPushButton* button() { return static_cast<QPushButton*>(state.widget.data()); }
    std::function<void()> action_;
};

class QtStackView : public QtViewOf<StackView> {
public:
    QtStackView() : QtViewOf(new QWidget) {
        layout_ = new QHBoxLayout(state.widget);
        layout_->setContentsMargins(0, 0, 0, 0);
        // The fixed-size arranged views are centred as one row inside the stack's frame.
        layout_->addStretch(1);
        layout_->addStretch(1);
    }
    void setSpacing(double s) override { layout_->setSpacing(int(s)); }
    void addArrangedSubview(View& view, double width, double height) override {
        WidgetState& child = stateOf(view);
        if (child.widget) child.widget->setFixedSize(int(width), int(height));
        layout_->insertWidget(layout_->count() - 1, child.widget, 0, Qt::AlignCenter);
    }

private:
    QHBoxLayout* layout_;
};

class WindowWidget : public QWidget {
public:
    std::function<void()> onClose;

protected:
    void closeEvent(QCloseEvent* event) override {
        QWidget::closeEvent(event);
        if (onClose) onClose();
    }
};

class QtWindow : public Window {
public:
    QtWindow(const Rect& rect, int style) : widget_(new WindowWidget), content_(widget_) {
        Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
        if (style & WINDOW_STYLE_TITLED) flags |= Qt::WindowTitleHint;
        if (style & WINDOW_STYLE_CLOSABLE) flags |= Qt::WindowCloseButtonHint;
        if (!(style & (WINDOW_STYLE_TITLED | WINDOW_STYLE_CLOSABLE))) flags |= Qt::FramelessWindowHint;
        widget_->setWindowFlags(flags);
        widget_->setFixedSize(int(rect.width), int(rect.height));
        widget_->setObjectName("quillberryWindow");
        widget_->setAttribute(Qt::WA_DeleteOnClose, false);  // closing hides; the owner destroys
        widget_->setWindowRole("quillberry-window");
        content_.state.frame = {0, 0, rect.width, rect.height};
        widget_->onClose = [this] { releaseOwner(); };
    }
    ~QtWindow() override {
        widget_->onClose = nullptr;
        // content_ wraps the window widget itself: it is deleted here, once.
        content_.state.widget = nullptr;
        delete widget_.data();
    }
    View* contentView() override { return &content_; }
    void center() override {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect area = screen->availableGeometry();
            widget_->move(area.center() - QPoint(widget_->width() / 2, widget_->height() / 2));
        }
    }
    // A window manager shows the title in its bar, its task list and its window switcher
    // alike: there is no hiding it from the bar alone, and a blank one names the window
    // nowhere. So the window is always named.
    void setTitleHidden(bool) override { widget_->setWindowTitle("Quillberry"); }
    void setBackgroundColor(const Color& c) override {
        QPalette palette = widget_->palette();
        palette.setColor(QPalette::Window,
                         QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha)));
        widget_->setPalette(palette);
        widget_->setAutoFillBackground(true);
    }
    void makeKeyAndOrderFront() override {
        widget_->show();
        widget_->raise();
        widget_->activateWindow();
    }
    void makeFirstResponder(View& view) override {
        if (QWidget* target = stateOf(view).widget) target->setFocus(Qt::OtherFocusReason);
    }
    void close() override { widget_->close(); }
    void retainWhileOpen(std::shared_ptr<void> owner) override { owner_ = std::move(owner); }

private:
    void releaseOwner() {
        if (!owner_) return;
        // Later, so whoever closed us still has an object when its action returns.
        auto release = [owner = std::move(owner_)]() mutable { owner.reset(); };
        QMetaObject::invokeMethod(qApp, std::move(release), Qt::QueuedConnection);
    }
    QPointer<WindowWidget> widget_;
    QtView content_;
    std::shared_ptr<void> owner_;
};
}  // namespace

WidgetState& stateOf(View& view) {
    // Every view of this kit is a QtViewOf<something>; they share the layout of `state`
    // only through these casts.
    if (auto* v = dynamic_cast<QtView*>(&view)) return v->state;
    if (auto* v = dynamic_cast<QtViewOf<TextField>*>(&view)) return v->state;
    if (auto* v = dynamic_cast<QtViewOf<Button>*>(&view)) return v->state;
    return dynamic_cast<QtViewOf<StackView>&>(view).state;
}

std::unique_ptr<Window> QtViewKit::makeWindow(const Rect& contentRect, int styleMask) {
    return std::make_unique<QtWindow>(contentRect, styleMask);
}
std::unique_ptr<View> QtViewKit::makeView(const Rect& frame) {
    auto view = std::make_unique<QtView>(new QWidget);
    view->setFrame(frame);
    return view;
}
std::unique_ptr<TextField> QtViewKit::makeLabel(const std::string& text) {
    auto* label = new QLabel(q(text));
    return std::make_unique<QtTextField>(label);
}
std::unique_ptr<TextField> QtViewKit::makeTextField(const Rect& frame) {
    auto field = std::make_unique<QtTextField>(new QLineEdit);
    field->setFrame(frame);
    return field;
}
std::unique_ptr<Button> QtViewKit::makeButton() { return std::make_unique<QtButton>(); }
std::unique_ptr<StackView> QtViewKit::makeStackView() { return std::make_unique<QtStackView>(); }

}  // namespace quillberry::qt
