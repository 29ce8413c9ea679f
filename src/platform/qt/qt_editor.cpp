// The in-place editor on a QPlainTextEdit, as a view of the toolkit-free text box model. The
// model holds the text (its line breaks exactly as set), the caret and the focus as the control
// sees them, and runs every notification; the widget shows the model's text, one paragraph per
// line, and hands the model what the user does: keys and composed text go through the model's
// key pipeline, and an edit the widget makes itself (paste, Delete, cut, a selection replaced)
// reaches the model as the replacement of the range that changed, so that the text around it
// keeps its exact line breaks.
//
// Focus, as the control sees it: the editor has it from the moment it receives it until the
// user gives it to something else in the same window, or the control hides the editor (the grid
// then takes it). Opening a dialog or a menu, or switching to another window, does not take it,
// and its coming back is not a new opening.
#include "platform/qt/qt_internal.h"

#include "platform/design.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextBlock>

#include <algorithm>

namespace dalmure::qt {

namespace {

constexpr char16_t kParagraph = 0x2029;
constexpr char16_t kLineSeparator = 0x2028;

// The text as the widget shows it: each line break (CR LF, CR or LF) one '\n'.
QString displayOf(StrView text) {
    QString s;
    s.reserve(static_cast<qsizetype>(text.size()));
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n;) {
        const std::int32_t br = platform::TextBoxModel::breakAt(text, i);
        if (br > 0) {
            s += QLatin1Char('\n');
            i += br;
        } else {
            s += QChar(text[static_cast<std::size_t>(i)]);
            ++i;
        }
    }
    return s;
}

// The widget's document, its paragraph breaks as '\n'.
QString documentText(const QPlainTextEdit* w) {
    QString s = w->document()->toRawText();
    for (QChar& c : s)
        if (c.unicode() == kParagraph || c.unicode() == kLineSeparator)
            c = QLatin1Char('\n');
    return s;
}

// A position of the model's text as a position of the widget's document; a position inside a
// CR LF pair is that of the line break.
int toDocument(StrView text, std::int32_t pos) {
    int doc = 0;
    const auto n = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < n && i < pos;) {
        const std::int32_t br = platform::TextBoxModel::breakAt(text, i);
        if (br > 0 && i + br > pos)
            break;
        i += br > 0 ? br : 1;
        ++doc;
    }
    return doc;
}

// A position of the widget's document as a position of the model's text.
std::int32_t toModel(StrView text, int doc) {
    std::int32_t i = 0;
    const auto n = static_cast<std::int32_t>(text.size());
    for (int d = 0; d < doc && i < n; ++d) {
        const std::int32_t br = platform::TextBoxModel::breakAt(text, i);
        i += br > 0 ? br : 1;
    }
    return i;
}

// The characters a line typed into the widget stands for in the model: a line break is CR LF.
Str typedText(const QString& display) {
    Str s;
    s.reserve(static_cast<std::size_t>(display.size()));
    for (QChar c : display) {
        if (c == QLatin1Char('\n'))
            s += u"\r\n";
        else
            s += static_cast<char16_t>(c.unicode());
    }
    return s;
}

// Where two texts differ: the first prefix characters and the last suffix characters of each are
// the same, and the span between (was[prefix, was.size() - suffix) in one, now[prefix,
// now.size() - suffix) in the other) is what changed.
struct Difference {
    int prefix = 0, suffix = 0;
    bool none(const QString& was, const QString& now) const {
        return prefix == was.size() && prefix == now.size();
    }
};

Difference differenceOf(const QString& was, const QString& now) {
    const int shorter = static_cast<int>(std::min(was.size(), now.size()));
    Difference d;
    while (d.prefix < shorter && was.at(d.prefix) == now.at(d.prefix))
        ++d.prefix;
    while (d.suffix < shorter - d.prefix &&
           was.at(was.size() - 1 - d.suffix) == now.at(now.size() - 1 - d.suffix))
        ++d.suffix;
    return d;
}

// The character a key types, as the control's key handling counts it: Enter 13, Backspace 8,
// Esc 27; 0 for a key without one (moves, Delete, Tab that moves the focus, shortcuts).
char16_t characterOf(const QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 0;
    default:
        break;
    }
    const QString text = e->text();
    if (text.size() != 1)
        return 0;
    const char16_t c = static_cast<char16_t>(text.at(0).unicode());
    // With Ctrl held a letter is a shortcut (select all, copy ...), whatever text comes with it.
    if (c >= 32 && (e->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)))
        return 0;
    return c;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Widget

EditorWidget::EditorWidget(QtTextBox& box, QWidget* parent) : QPlainTextEdit(parent), box_(box) {
    setTabChangesFocus(true);
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setAccessibleName(QStringLiteral("Notes"));
    // The lines fill the editor from its top: the control sizes it to its lines, no margin.
    document()->setDocumentMargin(0);
    setViewportMargins(0, 0, 0, 0);
    QObject::connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!box_.syncing())
            box_.viewEdited();
    });
    QObject::connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (!box_.syncing())
            box_.viewSelected();
    });
    QObject::connect(this, &QPlainTextEdit::selectionChanged, this, [this] {
        if (!box_.syncing())
            box_.viewSelected();
    });
}

void EditorWidget::keepTextInView() {
    // The lines' heights as the widget lays them out, against the height the control gave.
    qreal height = 0;
    for (QTextBlock b = document()->firstBlock(); b.isValid(); b = b.next())
        height += blockBoundingRect(b).height();
    // Within a pixel the text fits: show it from its first line.
    if (height <= viewport()->height() + 1.0)
        verticalScrollBar()->setValue(0);
}

void EditorWidget::resizeEvent(QResizeEvent* e) {
    QPlainTextEdit::resizeEvent(e);
    keepTextInView();
}

// The spelling help for the word under the mouse, Qt's own editing items (undo, cut, copy,
// paste ...), then the control's commands.
QMenu* EditorWidget::notesMenu(const QPoint& at) {
    QMenu* menu = createStandardContextMenu(at);
    box_.addSpellingEntries(*menu, at);
    box_.addCommands(*menu);
    return menu;
}

void EditorWidget::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    // The keyboard's menu is the control's; the mouse's is the notes' text menu.
    if (e->reason() != QContextMenuEvent::Mouse) {
        box_.requestMenu();
        return;
    }
    const std::unique_ptr<QMenu> menu(notesMenu(e->pos()));
    box_.runMenu(*menu, e->globalPos());
}

void EditorWidget::keyPressEvent(QKeyEvent* e) {
    if (isMenuKey(e)) {
        e->accept();
        box_.requestMenu();
        return;
    }
    platform::TextBoxModel& m = box_.model();
    const bool down = m.keyDown(virtualKeyCode(e->key()), shiftMask(e->modifiers()));
    const char16_t ch = characterOf(e);
    if (ch == 0) {
        // A key without a character: moves, Delete and the like act in the widget, which hands
        // its edits to the model.
        if (down)
            QPlainTextEdit::keyPressEvent(e);
        else
            e->accept();
        return;
    }
    e->accept();
    const bool passed = m.characterKey(ch, !down);
    if (passed && ch < 32 && ch != 13 && ch != 8 && ch != 27)
        QPlainTextEdit::keyPressEvent(e); // the widget's own shortcuts (copy, paste, cut ...)
    keepTextInView();
}

void EditorWidget::keyReleaseEvent(QKeyEvent* e) {
    if (e->isAutoRepeat()) {
        e->accept();
        return;
    }
    const std::int16_t code = virtualKeyCode(e->key());
    box_.model().keyUp(code, shiftMask(e->modifiers()));
    e->accept();
}

void EditorWidget::inputMethodEvent(QInputMethodEvent* e) {
    // Composed characters (dead keys, input methods) arrive here; each goes through the
    // character key notification like a typed one. A composition in progress, or one that
    // replaces text, is the widget's own edit.
    const QString commit = e->commitString();
    if (commit.isEmpty() || !e->preeditString().isEmpty() || e->replacementLength() != 0) {
        QPlainTextEdit::inputMethodEvent(e);
        return;
    }
    for (QChar c : commit)
        box_.model().characterKey(static_cast<char16_t>(c.unicode()));
    e->accept();
    keepTextInView();
}

void EditorWidget::focusInEvent(QFocusEvent* e) {
    QPlainTextEdit::focusInEvent(e);
    if (!box_.moving())
        box_.model().focusIn();
}

void EditorWidget::mousePressEvent(QMouseEvent* e) {
    lastPress_ = e->timestamp();
    QPlainTextEdit::mousePressEvent(e);
    // The widget leaves the right button to its parent, where a press is a click on the
    // surface that takes the focus away: the notes would be committed before the menu's
    // choice changed them.
    if (e->button() == Qt::RightButton)
        e->accept();
}

// A double click whose first press was on the list (it opened the notes, and the list scrolled
// them under the mouse) is the list's: it neither selects a word nor moves the caret, so that
// what the clerk types next goes where opening the notes put it.
void EditorWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    const quint64 interval =
        static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    if (lastPress_ == 0 || e->timestamp() < lastPress_ || e->timestamp() - lastPress_ > interval) {
        e->accept();
        return;
    }
    QPlainTextEdit::mouseDoubleClickEvent(e);
}

// ---------------------------------------------------------------------------------------------
// The text box component

QtTextBox::QtTextBox(Context& ctx, QtFrame& frame)
    : ctx_(ctx), model_(ctx.sink, frame), w_(new EditorWidget(*this, frame.widget())) {
    model_.setView(this);
    model_.setFocusLeaving([this] {
        if (!home_)
            return;
        moving_ = true;
        home_->setFocus(Qt::OtherFocusReason);
        moving_ = false;
    });
    appearanceChanged();
    applyGeometry();
    w_->hide();
}

void QtTextBox::applyGeometry() {
    w_->setGeometry(ctx_.pxX(model_.left()), ctx_.pxY(model_.top()),
                    std::max(0, ctx_.pxX(model_.width())), std::max(0, ctx_.pxY(model_.height())));
    w_->keepTextInView();
}

void QtTextBox::textReplaced() {
    syncing_ = true;
    w_->setPlainText(displayOf(model_.text()));
    syncing_ = false;
    showSelection();
}

void QtTextBox::textEdited(std::int32_t, std::int32_t, std::int32_t) {
    // The document takes the part that differs from the model's text now; the rest, and the
    // widget's scrolling, stay.
    const QString was = documentText(w_);
    const QString now = displayOf(model_.text());
    const Difference d = differenceOf(was, now);
    syncing_ = true;
    QTextCursor c(w_->document());
    c.setPosition(d.prefix);
    c.setPosition(static_cast<int>(was.size()) - d.suffix, QTextCursor::KeepAnchor);
    c.insertText(now.mid(d.prefix, now.size() - d.suffix - d.prefix));
    syncing_ = false;
    showSelection();
}

// The widget's undo history holds the control's edit (an expansion) and the key typed after it.
// Stepping back over them, until the document is the model's text short of what was typed
// since, leaves the history as the clerk's own typing made it; what is typed again joins it. A
// history that never gets there is stepped forward again, and the model's text set as an edit.
void QtTextBox::editTakenBack(std::int32_t at, std::int32_t removed, std::int32_t inserted) {
    constexpr int kMostSteps = 3;
    QTextDocument* doc = w_->document();
    const QString now = displayOf(model_.text());
    const auto reachable = [&] {
        const QString was = documentText(w_);
        const Difference d = differenceOf(was, now);
        return d.prefix + d.suffix == was.size();
    };
    syncing_ = true;
    int steps = 0;
    while (steps < kMostSteps && doc->isUndoAvailable() && !reachable()) {
        doc->undo();
        ++steps;
    }
    if (!reachable()) {
        for (; steps > 0 && doc->isRedoAvailable(); --steps)
            doc->redo();
    }
    syncing_ = false;
    textEdited(at, removed, inserted);
}

void QtTextBox::selectionMoved() {
    showSelection();
}

void QtTextBox::showSelection() {
    const Str& text = model_.text();
    const int anchor = toDocument(text, model_.selStart());
    const int caret = toDocument(text, model_.selStart() + model_.selLength());
    syncing_ = true;
    QTextCursor c = w_->textCursor();
    const int last = w_->document()->characterCount() - 1;
    c.setPosition(std::min(anchor, last));
    c.setPosition(std::min(caret, last), QTextCursor::KeepAnchor);
    w_->setTextCursor(c);
    syncing_ = false;
    w_->keepTextInView();
}

void QtTextBox::viewEdited() {
    const Str before = model_.text();
    const QString was = displayOf(before);
    const QString now = documentText(w_);
    const Difference d = differenceOf(was, now);
    if (d.none(was, now))
        return;
    const std::int32_t from = toModel(before, d.prefix);
    const std::int32_t to = toModel(before, static_cast<int>(was.size()) - d.suffix);
    const Str inserted = typedText(now.mid(d.prefix, now.size() - d.suffix - d.prefix));
    if (!model_.userReplace(from, to, inserted)) {
        textReplaced(); // refused: the widget shows the model again
        return;
    }
    viewSelected();
}

void QtTextBox::viewSelected() {
    const QTextCursor c = w_->textCursor();
    const Str& text = model_.text();
    model_.userSelect(toModel(text, c.anchor()), toModel(text, c.position()));
}

void QtTextBox::visibilityChanged() {
    const bool v = model_.visible();
    if (!v && w_->hasFocus()) {
        // Hidden with its row out of view, the editor keeps the focus: the real one waits on the
        // surface, where keys go nowhere and a click anywhere else is a focus loss. Hidden
        // without the control's focus, the widget may still hold the real one: it goes to the
        // grid rather than to whatever widget Qt would pick next (the surface while the grid is
        // hidden too, the grid taking it back when shown).
        moving_ = true;
        parked_ = model_.hasFocus();
        if (home_ && !parked_ && home_->isVisible())
            home_->setFocus(Qt::OtherFocusReason);
        else
            ctx_.surface->setFocus(Qt::OtherFocusReason);
        moving_ = false;
    }
    w_->setVisible(v);
    if (v) {
        w_->raise();
        w_->keepTextInView();
        if (parked_ && model_.hasFocus() && QApplication::focusWidget() == ctx_.surface)
            focusGiven();
        parked_ = false;
    }
}

void QtTextBox::readOnlyChanged() {
    const bool v = model_.readOnly();
    w_->setReadOnly(v);
    // A read-only editor still shows its caret and lets the text be selected and copied.
    w_->setTextInteractionFlags(v ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                  : Qt::TextEditorInteraction);
}

void QtTextBox::appearanceChanged() {
    QPalette p = w_->palette();
    p.setColor(QPalette::Base, toQColor(model_.backColor()));
    w_->setPalette(p);
    QFont f = w_->font();
    const double points = model_.fontSize();
    f.setPointSizeF(points > 0 ? points : 1);
    w_->setFont(f);
}

void QtTextBox::addCommands(QMenu& menu) {
    if (ctx_.sink)
        ctx_.sink->menuItemsWanted();
    if (ctx_.commandMenu == nullptr)
        return;
    ctx_.commandMenu->addItemsTo(menu);
}

void QtTextBox::runMenu(QMenu& menu, const QPoint& at) {
    ctx_.driveModal(&menu);
    const QPointer<QAction> chosen = menu.exec(at);
    if (ctx_.commandMenu)
        ctx_.commandMenu->chosenElsewhere(chosen);
}

void QtTextBox::focusGiven() {
    moving_ = true;
    w_->setFocus(Qt::OtherFocusReason);
    moving_ = false;
}

void QtTextBox::focusChanged(QWidget* /*old*/, QWidget* now) {
    if (moving_ || now == w_ || now == nullptr)
        return;
    if (now->window() != w_->window())
        return; // a dialog, a menu or another window: the control keeps its focus
    model_.focusOut();
}

void QtTextBox::marksChanged() {
    // Misspelled words are underlined with the desktop's wavy line, over whatever else the
    // text shows; the selection stays the widget's own.
    QList<QTextEdit::ExtraSelection> marks;
    const Str& text = model_.text();
    for (const platform::TextBox::Range& r : model_.markedRanges()) {
        QTextEdit::ExtraSelection mark;
        mark.cursor = QTextCursor(w_->document());
        mark.cursor.setPosition(toDocument(text, r.start));
        mark.cursor.setPosition(toDocument(text, r.start + r.length), QTextCursor::KeepAnchor);
        mark.format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
        mark.format.setUnderlineColor(Qt::red);
        marks.push_back(mark);
    }
    w_->setExtraSelections(marks);
}

void QtTextBox::addSpellingEntries(QMenu& menu, QPoint pos) {
    if (!ctx_.sink)
        return;
    platform::Notifications::SpellingHelp help;
    const std::int32_t at = toModel(model_.text(), w_->cursorForPosition(pos).position());
    if (!ctx_.sink->editorSpellingHelp(at, help))
        return;
    QAction* first = menu.actions().isEmpty() ? nullptr : menu.actions().constFirst();
    const auto add = [&](const QString& caption, const QString& name) {
        auto* a = new QAction(caption, &menu);
        a->setObjectName(name);
        menu.insertAction(first, a);
        return a;
    };
    for (const Str& word : help.suggestions) {
        QAction* a = add(toQ(word), QStringLiteral("spellingSuggestion"));
        QObject::connect(a, &QAction::triggered, [this, help, word] {
            // The word is replaced only while it is still there as it was offered.
            const Str& text = model_.text();
            const auto start = static_cast<std::size_t>(help.start);
            if (start + static_cast<std::size_t>(help.length) <= text.size() &&
                text.compare(start, static_cast<std::size_t>(help.length), help.word) == 0)
                model_.replaceRange(help.start, help.start + help.length, word);
        });
    }
    QAction* keep = add(toQ(help.addCaption), QStringLiteral("spellingAdd"));
    QObject::connect(keep, &QAction::triggered, [this, word = help.word] {
        if (ctx_.sink)
            ctx_.sink->editorAddWord(word);
    });
    if (first)
        menu.insertSeparator(first);
}

} // namespace dalmure::qt
