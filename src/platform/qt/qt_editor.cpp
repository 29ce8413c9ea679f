// The in-place editor on a QPlainTextEdit. Line breaks read as CR LF, as the control counts
// them; every key goes through key down, character key and key up, and a handler that sets
// the key to 0 keeps the editor from acting on it.
//
// Focus, as the control sees it: the editor has it from the moment it receives it until the
// user gives it to something else in the same window. Opening a dialog or a menu, or switching
// to another window, does not take it; hiding the editor does not take it either (the real
// focus then rests on the control's surface until the user acts).
#include "platform/qt/qt_internal.h"

#include "control/design.h"
#include "support/errors.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextBlock>

#include <algorithm>

namespace dalmure::qt {

namespace {

QString toDocumentText(const Str& text) {
    QString s = toQ(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Widget

EditorWidget::EditorWidget(Context& ctx, QtTextBox& box, QWidget* parent)
    : QPlainTextEdit(parent), ctx_(ctx), box_(box) {
    setTabChangesFocus(true);
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(QStringLiteral("Notes"));
    document()->setDocumentMargin(1);
    QObject::connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!box_.loading())
            box_.userChanged();
    });
}

bool EditorWidget::characterKey(std::int16_t& ascii) {
    if (ctx_.sink)
        ctx_.sink->editorKeyPress(ascii);
    return ascii != 0 && !isReadOnly() && isVisible();
}

void EditorWidget::keyPressEvent(QKeyEvent* e) {
    const int key = e->key();
    const std::int16_t original = virtualKeyCode(key);
    std::int16_t code = original;
    if (code != 0 && ctx_.sink)
        ctx_.sink->editorKeyDown(code, shiftMask(e->modifiers()));
    const bool downDiscarded = original != 0 && code == 0;

    const QString text = e->text();
    std::int16_t ascii = 0;
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        ascii = 13;
    else if (key == Qt::Key_Backspace)
        ascii = 8;
    else if (key == Qt::Key_Escape)
        ascii = 27;
    else if (key == Qt::Key_Tab || key == Qt::Key_Backtab)
        ascii = 0;
    else if (text.size() == 1)
        ascii = static_cast<std::int16_t>(text.at(0).unicode());

    if (ascii == 0) {
        // A key without a character: moves, Delete and the like.
        if (!downDiscarded)
            QPlainTextEdit::keyPressEvent(e);
        else
            e->accept();
        return;
    }
    const bool insert = characterKey(ascii) && !downDiscarded;
    e->accept();
    if (!insert)
        return;
    const auto ch = static_cast<char16_t>(static_cast<std::uint16_t>(ascii));
    switch (ch) {
    case 13:
        insertPlainText(QStringLiteral("\n"));
        break;
    case 8: {
        QTextCursor c = textCursor();
        if (c.hasSelection())
            c.removeSelectedText();
        else
            c.deletePreviousChar();
        setTextCursor(c);
        break;
    }
    case 27:
        break;
    default:
        if (ch < 32)
            QPlainTextEdit::keyPressEvent(e); // the control's own shortcuts (copy, paste ...)
        else
            insertPlainText(QString(QChar(ch)));
    }
}

void EditorWidget::keyReleaseEvent(QKeyEvent* e) {
    if (e->isAutoRepeat()) {
        e->accept();
        return;
    }
    std::int16_t code = virtualKeyCode(e->key());
    if (code != 0 && ctx_.sink)
        ctx_.sink->editorKeyUp(code, shiftMask(e->modifiers()));
    if (code == 0) {
        e->accept();
        return;
    }
    QPlainTextEdit::keyReleaseEvent(e);
}

void EditorWidget::inputMethodEvent(QInputMethodEvent* e) {
    // Composed characters (dead keys, input methods) arrive here; each goes through the
    // character key notification like a typed one.
    const QString commit = e->commitString();
    if (commit.isEmpty() || !e->preeditString().isEmpty() || e->replacementLength() != 0) {
        QPlainTextEdit::inputMethodEvent(e);
        return;
    }
    QString accepted;
    for (QChar c : commit) {
        std::int16_t ascii = static_cast<std::int16_t>(c.unicode());
        if (characterKey(ascii))
            accepted += QChar(static_cast<char16_t>(static_cast<std::uint16_t>(ascii)));
    }
    if (!accepted.isEmpty())
        insertPlainText(accepted);
    e->accept();
}

void EditorWidget::focusInEvent(QFocusEvent* e) {
    QPlainTextEdit::focusInEvent(e);
    switch (e->reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        box_.userFocusIn();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// The text box component

QtTextBox::QtTextBox(Context& ctx, QWidget* frame)
    : ctx_(ctx), w_(new EditorWidget(ctx, *this, frame)) {
    QFont f = w_->font();
    f.setPointSizeF(design::kFontSize);
    w_->setFont(f);
    setBackColor(design::kEditorBackColor);
    w_->hide();
}

Str QtTextBox::text() const {
    QString s = w_->toPlainText();
    s.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return fromQ(s);
}

void QtTextBox::setText(const Str& text) {
    const Str before = this->text();
    loading_ = true;
    w_->setPlainText(toDocumentText(text));
    loading_ = false;
    QTextCursor c = w_->textCursor();
    c.setPosition(0);
    w_->setTextCursor(c);
    last_ = this->text();
    if (last_ != before && ctx_.sink)
        ctx_.sink->editorChange();
}

void QtTextBox::userChanged() {
    Str now = text();
    if (now == last_)
        return;
    last_ = std::move(now);
    if (ctx_.sink)
        ctx_.sink->editorChange();
}

std::int32_t QtTextBox::selStart() const {
    const int pos = w_->textCursor().position();
    const QString s = w_->toPlainText();
    const int breaks = static_cast<int>(s.left(pos).count(QLatin1Char('\n')));
    return pos + breaks;
}

void QtTextBox::setSelStart(std::int32_t pos) {
    const Str t = text();
    std::int32_t i = 0;
    int docPos = 0;
    const auto n = static_cast<std::int32_t>(t.size());
    pos = std::clamp(pos, 0, n);
    while (i < pos) {
        if (t[static_cast<std::size_t>(i)] == u'\r' && i + 1 < n &&
            t[static_cast<std::size_t>(i) + 1] == u'\n')
            i += 2;
        else
            ++i;
        ++docPos;
    }
    QTextCursor c = w_->textCursor();
    c.setPosition(std::min(docPos, w_->document()->characterCount() - 1));
    w_->setTextCursor(c);
}

void QtTextBox::setLeft(std::int32_t v) {
    left_ = v;
    applyGeometry();
}
void QtTextBox::setTop(std::int32_t v) {
    top_ = v;
    applyGeometry();
}
void QtTextBox::setWidth(std::int32_t v) {
    width_ = v;
    applyGeometry();
}
void QtTextBox::setHeight(std::int32_t v) {
    height_ = v;
    applyGeometry();
}

void QtTextBox::applyGeometry() {
    w_->setGeometry(ctx_.pxX(left_), ctx_.pxY(top_), std::max(0, ctx_.pxX(width_)),
                    std::max(0, ctx_.pxY(height_)));
}

void QtTextBox::setVisible(bool v) {
    if (!v && w_->hasFocus()) {
        // The real focus rests on the surface; the editor keeps the control's focus.
        moving_ = true;
        ctx_.surface->setFocus(Qt::OtherFocusReason);
        moving_ = false;
    }
    visible_ = v;
    w_->setVisible(v);
    if (v) {
        w_->raise();
        if (focus_ && ctx_.surface->hasFocus()) {
            moving_ = true;
            w_->setFocus(Qt::OtherFocusReason);
            moving_ = false;
        }
    }
}

void QtTextBox::setReadOnly(bool v) {
    w_->setReadOnly(v);
    // A read-only editor still shows its caret and lets the text be selected and copied.
    w_->setTextInteractionFlags(v ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                  : Qt::TextEditorInteraction);
}

void QtTextBox::setBackColor(std::int32_t color) {
    backColor_ = color;
    QPalette p = w_->palette();
    p.setColor(QPalette::Base, toQColor(color));
    w_->setPalette(p);
}

void QtTextBox::setFontSize(double points) {
    QFont f = w_->font();
    f.setPointSizeF(points > 0 ? points : 1);
    w_->setFont(f);
}

void QtTextBox::setFocus() {
    if (!visible_)
        errors::invalidProcedureCall();
    focus_ = true;
    moving_ = true;
    w_->setFocus(Qt::OtherFocusReason);
    moving_ = false;
    if (ctx_.sink)
        ctx_.sink->editorGotFocus();
}

void QtTextBox::userFocusIn() {
    if (moving_ || focus_)
        return;
    focus_ = true;
    if (ctx_.sink)
        ctx_.sink->editorGotFocus();
}

void QtTextBox::focusChanged(QWidget* /*old*/, QWidget* now) {
    if (moving_ || !focus_ || now == w_ || now == nullptr)
        return;
    if (now->window() != w_->window())
        return; // a dialog, a menu or another window: the control keeps its focus
    focus_ = false;
    if (ctx_.sink)
        ctx_.sink->editorLostFocus();
}

} // namespace dalmure::qt
