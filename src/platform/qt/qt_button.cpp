// The command buttons: tool buttons that report clicks, mouse moves and their tips. A button
// takes the keyboard only by Tab (a click leaves it where the clerk types), shows it with a
// ring in the desktop's highlight colour, and runs its command on Space or Enter.
#include "platform/qt/qt_internal.h"

#include "control/design.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace dalmure::qt {

ButtonWidget::ButtonWidget(Context& ctx, platform::ButtonId id, QWidget* parent)
    : QToolButton(parent), ctx_(ctx), id_(id) {
    setMouseTracking(true);
    setFocusPolicy(Qt::TabFocus);
    setAutoRaise(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIcon(commandIcon(id));
    setObjectName(QString::fromLatin1(platform::buttonName(id).data(),
                                      static_cast<qsizetype>(platform::buttonName(id).size())));
    QObject::connect(this, &QToolButton::clicked, this, [this] {
        if (ctx_.sink)
            ctx_.sink->buttonClick(id_);
    });
}

void ButtonWidget::mouseMoveEvent(QMouseEvent* e) {
    QToolButton::mouseMoveEvent(e);
    e->accept(); // the surface under the button does not see the move
    if (ctx_.sink)
        ctx_.sink->buttonMouseMove(id_);
}

void ButtonWidget::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        e->accept();
        click();
        return;
    }
    QToolButton::keyPressEvent(e);
}

void ButtonWidget::paintEvent(QPaintEvent* e) {
    QToolButton::paintEvent(e);
    if (!hasFocus())
        return;
    QPainter painter(this);
    QPen pen(palette().color(QPalette::Highlight), 2);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
}

QtButton::QtButton(Context& ctx, platform::ButtonId id, QWidget* surface, QtFrame* frame)
    : Placed(
          {design::buttonLeft(id), design::kButtonTop, design::kButtonSize, design::kButtonSize}),
      ctx_(ctx), w_(new ButtonWidget(ctx, id, surface)), frame_(frame),
      color_(design::kButtonColor) {
    setToolTipText(design::buttonToolTip(id));
    setButtonColor(color_);
    apply();
}

void QtButton::apply() {
    const platform::Placement& at = placement();
    const int side = std::max(0, ctx_.pxX(at.width));
    w_->setGeometry(ctx_.pxX(at.left), ctx_.pxY(at.top), side, std::max(0, ctx_.pxY(at.height)));
    const int icon = std::max(8, side * 2 / 3);
    w_->setIconSize(QSize(icon, icon));
    w_->setVisible(shown());
}

void QtButton::setVisible(bool v) {
    visible_ = v;
    apply();
}
void QtButton::setToolTipText(const Str& text) {
    toolTip_ = text;
    const QString q = toQ(text);
    w_->setToolTip(q);
    w_->setAccessibleName(q);
    w_->setStatusTip(q);
}
void QtButton::setButtonColor(std::int32_t color) {
    color_ = color;
    QPalette p = w_->palette();
    p.setColor(QPalette::Button, toQColor(color));
    p.setColor(QPalette::Window, toQColor(color));
    w_->setPalette(p);
    w_->setAutoFillBackground(true);
}

} // namespace dalmure::qt
