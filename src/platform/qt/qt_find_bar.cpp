// The find bar on Qt: a line to type into, the count and a close button, in a row across the
// top of Frame3. Every key of finding is taken here, by one event filter on the grid, the notes
// and the line: Ctrl+F asks for the bar, Enter and F3 for the next match (Shift+F3 the one
// before), Esc closes it. The same filter claims those keys from the host's shortcuts.
#include "platform/qt/qt_internal.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace dalmure::qt {

FindBarWidget::FindBarWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FindBar"));
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 2);
    layout->setSpacing(6);
    line = new QLineEdit(this);
    line->setObjectName(QStringLiteral("FindText"));
    line->setClearButtonEnabled(false);
    count = new QLabel(this);
    count->setObjectName(QStringLiteral("FindCount"));
    count->setTextFormat(Qt::PlainText);
    count->setFocusPolicy(Qt::NoFocus);
    close = new QToolButton(this);
    close->setObjectName(QStringLiteral("FindClose"));
    close->setAutoRaise(true);
    close->setFocusPolicy(Qt::NoFocus);
    close->setText(QStringLiteral("\u2715"));
    layout->addWidget(line, 1);
    layout->addWidget(count);
    layout->addWidget(close);
    hide();
}

bool FindKeys::eventFilter(QObject* watched, QEvent* e) {
    const bool override = e->type() == QEvent::ShortcutOverride;
    if ((e->type() != QEvent::KeyPress && !override) || ctx_.sink == nullptr)
        return false;
    auto* k = static_cast<QKeyEvent*>(e);
    const Qt::KeyboardModifiers mods =
        k->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool inBar = watched == bar_.widget()->line;
    const bool shown = bar_.visible();
    const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
    enum class Act { None, Request, Next, Close } act = Act::None;
    if (k->key() == Qt::Key_F && mods == Qt::ControlModifier)
        act = Act::Request;
    else if (k->key() == Qt::Key_F3 && shown && (mods & ~Qt::ShiftModifier) == 0)
        act = Act::Next;
    else if (inBar && enter)
        act = Act::Next;
    else if (inBar && k->key() == Qt::Key_Escape && mods == 0)
        act = Act::Close;
    if (act == Act::None)
        return false;
    k->accept();
    // The keys of finding are the control's before the host's shortcuts on the same keys: the
    // override accepted, the key itself comes next as a key press.
    if (override)
        return true;
    switch (act) {
    case Act::Request:
        ctx_.sink->findRequested();
        break;
    case Act::Next:
        ctx_.sink->findNext((mods & Qt::ShiftModifier) != 0);
        break;
    default:
        ctx_.sink->findClosed();
        break;
    }
    return true;
}

QtFindBar::QtFindBar(Context& ctx, QWidget* frame, QList<QWidget*> keySources)
    : ctx_(ctx), w_(new FindBarWidget(frame)), keys_(new FindKeys(ctx, *this, w_)) {
    for (QWidget* source : keySources)
        source->installEventFilter(keys_);
    w_->line->installEventFilter(keys_);
    QObject::connect(w_->line, &QLineEdit::textEdited, w_, [this] {
        if (ctx_.sink)
            ctx_.sink->findTextChanged();
    });
    QObject::connect(w_->close, &QToolButton::clicked, w_, [this] {
        if (ctx_.sink)
            ctx_.sink->findClosed();
    });
    if (!keySources.isEmpty())
        home_ = keySources.front();
}

void QtFindBar::setVisible(bool v) {
    if (visible_ == v)
        return;
    visible_ = v;
    if (!v && w_->line->hasFocus() && home_)
        home_->setFocus(Qt::OtherFocusReason);
    w_->setVisible(v);
    if (v)
        w_->raise();
}

Str QtFindBar::text() const {
    return fromQ(w_->line->text());
}

void QtFindBar::setText(const Str& text) {
    const QSignalBlocker quiet(w_->line);
    w_->line->setText(toQ(text));
}

void QtFindBar::setCount(const Str& text) {
    if (count_ == text)
        return;
    count_ = text;
    const QString shown = toQ(text);
    // Readers hear the count as the label's name (and read it as its description). Setting the
    // name announces it; set before the text, which the label would otherwise announce too.
    w_->count->setAccessibleName(shown);
    w_->count->setAccessibleDescription(shown);
    w_->count->setText(shown);
}

void QtFindBar::setCaptions(const Str& closeToolTip, const Str& placeholder) {
    w_->close->setToolTip(toQ(closeToolTip));
    w_->close->setAccessibleName(toQ(closeToolTip));
    w_->line->setPlaceholderText(toQ(placeholder));
    w_->line->setAccessibleName(toQ(placeholder));
}

void QtFindBar::setFocus() {
    if (!visible_)
        return;
    w_->line->setFocus(Qt::ShortcutFocusReason);
    w_->line->selectAll();
}

bool QtFindBar::hasFocus() const {
    return visible_ && w_->line->hasFocus();
}

std::int32_t QtFindBar::height() const {
    return static_cast<std::int32_t>(std::lround(ctx_.twipsY(w_->sizeHint().height())));
}

void QtFindBar::setPlacement(std::int32_t left, std::int32_t top, std::int32_t width) {
    left_ = left;
    top_ = top;
    width_ = width;
    apply();
}

void QtFindBar::apply() {
    w_->setGeometry(ctx_.pxX(left_), ctx_.pxY(top_), std::max(0, ctx_.pxX(width_)),
                    w_->sizeHint().height());
}

} // namespace dalmure::qt
