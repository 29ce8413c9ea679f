// A clerk's whole input at random, on the real widget in a shown host window with its event loop
// running: clicks, double and right clicks, the wheel, Esc, Tab, the move keys, the menu key, the
// command buttons with their prompts and dialogs, the find bar, resizes of the window, the host's
// own field, the host's adds, deletes and clears, and typing with accents, apostrophes and
// abbreviations. The test keeps its own account of where each key must land (the open notes,
// the list, a prompt, the find bar, the host's field) and of what every annotation holds, and
// stops at the first key that lands elsewhere or is lost, printing the seed and the steps.
//
// DALMURE_CLERK_STEPS (default 3000, scaled by DALMURE_TEST_STEPS) and DALMURE_CLERK_SEED
// (default 21) choose the run.
#include "qt_test_support.h"
#include "random_steps.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

// Where the next key must go. List: the list or the notes, and a character opens (or goes on
// in) the notes of the selected annotation; Grid: the list itself.
enum class Where { Notes, List, Grid, Host, Find, Button };

const char* const kWhereNames[] = {"notes", "list", "grid", "host field", "find bar", "button"};
QLatin1String nameOf(Where w) {
    return QLatin1String(kWhereNames[static_cast<int>(w)]);
}

struct Anno {
    QString time, desc, notes;
};

// The glossary file's abbreviations and the one the host adds for the hearing.
const std::map<QString, QString> kGlossary = {
    {"tem", "témoin"}, {"pla", "plaignant"}, {"obj", "objection"}, {"lef", "Me Marc Lefebvre"}};

const QStringList kWords = {"tem",    "Tem", "pla",     "obj",      "lef",
                            "déposé", "à",   "l'heure", "d'accord", "ça",
                            "pièce",  "P1",  "reprise", "Était",    "qu'il"};
const QStringList kEndings = {" ", ". ", ", ", "\r", "\b", ""};
const QStringList kDescriptions = {
    "Ouverture de l'audience", "Témoin", "Pause", "Objection", "Pièce P-1", "Reprise"};
const QStringList kDataTexts = {"", "", "Jugement le 19 avril", "Ligne un\r\nligne deux"};
// Rename answers and the descriptions they give (the prompt expands abbreviations).
const std::vector<std::pair<QString, QString>> kRenames = {
    {"Interrogatoire", "Interrogatoire"},
    {"Contre tem", "Contre témoin"},
    {"Plaidoirie finale", "Plaidoirie finale"}};

bool wordChar(QChar c) {
    return c.isLetterOrNumber();
}

// The notes after one key, by the editor's rules: Backspace removes a character (CR LF as
// one), Enter types CR LF, the apostrophe is the typographic one, and a word ended by a space,
// punctuation or Enter is expanded when it is an abbreviation, in the case it was typed.
void applyKey(QString& t, QChar c) {
    if (c == u'\b') {
        t.chop(t.endsWith(u"\r\n"_s) ? 2 : t.isEmpty() ? 0 : 1);
        return;
    }
    if (c == u'\r' || c == u' ' || u".,;:!?"_s.contains(c)) {
        qsizetype start = t.size();
        while (start > 0 && wordChar(t[start - 1]))
            --start;
        const QString word = t.mid(start);
        const auto it = kGlossary.find(word.toLower());
        if (it != kGlossary.end()) {
            QString text = it->second;
            if (word.size() > 1 && word == word.toUpper())
                text = text.toUpper();
            else if (word[0].isUpper())
                text[0] = text[0].toUpper();
            t = t.left(start) + text;
        }
    }
    if (c == u'\r')
        t += u"\r\n"_s;
    else
        t += c == u'\'' ? QChar(u'\u2019') : c;
}

} // namespace

class QtClerkTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    unsigned seed_ = 21;
    std::mt19937 rng_;
    QStringList steps_;
    QString failure_;

    // The account.
    std::vector<Anno> annos_;
    int sel_ = -1;
    Where where_ = Where::Notes;
    bool findShown_ = false;
    QString findText_;
    QString hostText_;
    bool styleTwo_ = false;

    // What the next modal window gets, and the modal windows seen.
    QString menuChoice_, promptAnswer_;
    bool confirmDelete_ = false;
    QStringList modals_;

    DalmureWidget& w() { return f_.w(); }
    QtPlatform& p() { return f_.p(); }
    QLineEdit* host() { return f_.host().elsewhere; }
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }
    template <class List> const auto& any(const List& list) {
        return list[static_cast<std::size_t>(pick(static_cast<int>(list.size())))];
    }
    int count() const { return static_cast<int>(annos_.size()); }

    // The first fault found, its %1, %2 ... filled in with args; always false.
    template <class... Args> bool fail(QString why, const Args&... args) {
        ((why = why.arg(args)), ...);
        if (failure_.isEmpty())
            failure_ = why;
        return false;
    }
    QString nameOfFocus() {
        QWidget* f = QApplication::focusWidget();
        return f == nullptr                 ? u"nothing"_s
               : f == p().editorWidget()    ? u"notes"_s
               : f == p().gridView()        ? u"grid"_s
               : f == host()                ? u"host field"_s
               : f == f_.findLine()         ? u"find bar"_s
               : !f->objectName().isEmpty() ? f->objectName()
                                            : QString::fromLatin1(f->metaObject()->className());
    }
    QString editorText() { return QString::fromStdU16String(p().editor().text()); }
    int editorRow() { return controlOf(w()).editorRow(); }

    // Whether the keyboard is where the account says the next key goes.
    bool keyboardWhereExpected() {
        QWidget* f = focused();
        const bool inNotes = f == p().editorWidget();
        return where_ == Where::Notes  ? inNotes
               : where_ == Where::List ? inNotes || f == p().gridView()
               : where_ == Where::Grid ? f == p().gridView()
               : where_ == Where::Host ? f == host()
               : where_ == Where::Find ? f == f_.findLine()
                                       : qobject_cast<QToolButton*>(f) != nullptr;
    }
    // The account's place for the keyboard as it is now, after a move the test lets the widget
    // choose (Tab, a host's call); false when it is nowhere the clerk can type.
    bool takeKeyboardAsItIs() {
        QWidget* f = focused();
        if (f == p().editorWidget())
            where_ = Where::Notes, sel_ = w().selected();
        else if (f == p().gridView())
            where_ = Where::List, sel_ = w().selected();
        else if (f == host())
            where_ = Where::Host;
        else if (f == f_.findLine())
            where_ = Where::Find, findText_ = f_.findLine()->text();
        else if (qobject_cast<QToolButton*>(f) != nullptr)
            where_ = Where::Button;
        else
            return fail(u"the keyboard went to "_s + nameOfFocus());
        return true;
    }

    // One key, checked: it must find the keyboard where the account says, and land there.
    bool key(QChar c) {
        const QString shown = c == u'\b' ? u"Backspace"_s : c == u'\r' ? u"Enter"_s : QString(c);
        if (!keyboardWhereExpected())
            return fail(u"key '%1' should go to the %2, the keyboard is on %3"_s, shown,
                        nameOf(where_), nameOfFocus());
        QWidget* target = QApplication::focusWidget();
        // A line edit reached by Tab or Ctrl+F has its text selected: the key replaces it.
        auto* line = qobject_cast<QLineEdit*>(target);
        const bool replaces =
            line != nullptr && line->hasSelectedText() && line->selectedText() == line->text();
        if (c == u'\b')
            QTest::keyClick(target, Qt::Key_Backspace);
        else if (c == u'\r')
            QTest::keyClick(target, Qt::Key_Return);
        else if (c.unicode() < 128)
            QTest::keyClicks(target, QString(c));
        else {
            const auto k = static_cast<Qt::Key>(c.toUpper().unicode());
            QTest::sendKeyEvent(QTest::Press, target, k, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, target, k, QString(c), Qt::NoModifier);
        }
        QCoreApplication::processEvents();
        if (where_ == Where::Host || where_ == Where::Find) {
            QString& want = where_ == Where::Host ? hostText_ : findText_;
            const QString got = where_ == Where::Host ? host()->text() : f_.findLine()->text();
            if (replaces)
                want.clear();
            c == u'\b' ? want.chop(1) : void(want += c);
            if (got != want)
                return fail(u"key '%1' lost: the %2 holds \"%3\", not \"%4\""_s, shown,
                            nameOf(where_), got, want);
            return true;
        }
        Anno& a = annos_[static_cast<std::size_t>(sel_)];
        applyKey(a.notes, c);
        where_ = Where::Notes;
        if (w().selected() != sel_ || editorRow() != 2 * sel_ + 1)
            return fail(u"key '%1' should be in the notes of %2; selected %3, editor on row %4"_s,
                        shown, sel_, w().selected(), editorRow());
        if (editorText() != a.notes)
            return fail(u"key '%1' lost: the notes of %2 hold \"%3\", not \"%4\""_s, shown, sel_,
                        editorText(), a.notes);
        return true;
    }
    bool keys(const QString& text) {
        for (QChar c : text)
            if (!key(c))
                return false;
        return true;
    }
    // A key that is not typing (Esc, Tab, F3, the move keys), sent to the keyboard's widget.
    // Checked as a typed key is: it must find the keyboard where the account says.
    bool press(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        if (!keyboardWhereExpected())
            return fail(u"%1 should go to the %2, the keyboard is on %3"_s,
                        QKeySequence(static_cast<int>(k) | static_cast<int>(mods)).toString(),
                        nameOf(where_), nameOfFocus());
        QTest::keyClick(QApplication::focusWidget(), k, mods);
        QCoreApplication::processEvents();
        return true;
    }

    // Every annotation as the account has it: descriptions, and notes in the data rows or,
    // for the annotation being edited, in the editor.
    bool listAsAccounted() {
        if (w().annoCount() != count())
            return fail(u"%1 annotations, the account has %2"_s, w().annoCount(), count());
        const int open = editorRow();
        for (int i = 0; i < count(); ++i) {
            const Anno& a = annos_[static_cast<std::size_t>(i)];
            if (w().annoDesc(i) != a.desc || w().annoTime(i) != a.time)
                return fail(u"annotation %1 is %2 \"%3\", not %4 \"%5\""_s, i, w().annoTime(i),
                            w().annoDesc(i), a.time, a.desc);
            const QString notes = open == 2 * i + 1 ? editorText() : w().annoData(i);
            if (notes != a.notes)
                return fail(u"the notes of %1 are \"%2\", not \"%3\""_s, i, notes, a.notes);
        }
        return true;
    }

    // --- The clerk's mouse ---------------------------------------------------------------

    // An annotation whose description row is in view, or -1. For a double click the whole
    // annotation is in view: a click on one cut by the edge scrolls the list under the mouse.
    int visibleAnno(bool whole = false) {
        std::vector<int> shown;
        const QRect port = f_.viewport()->rect();
        for (int i = 0; i < count(); ++i) {
            const QRect r = p().cellRect(2 * i, 1);
            const QRect notes = p().cellRect(2 * i + 1, 1);
            if (r.isValid() && port.contains(r.center()) &&
                (!whole || (port.contains(r) && notes.isValid() && port.contains(notes))))
                shown.push_back(i);
        }
        return shown.empty() ? -1 : any(shown);
    }
    QPoint descriptionOf(int i) { return p().cellRect(2 * i, pick(2)).center(); }

    // Sets what the next menu, prompt and confirmation get.
    void plan(QString menu, QString answer, bool confirm) {
        menuChoice_ = std::move(menu), promptAnswer_ = std::move(answer), confirmDelete_ = confirm;
        modals_.clear();
    }
    // A command's menu item, prompt answer and confirmation, chosen at random; what the account
    // expects of it once it has run (the annotation it acts on is sel_).
    QString planCommand(bool fromMenu) {
        static const QStringList items = {"",
                                          "mnuPopupJouer",
                                          "mnuPopupRenommer",
                                          "mnuPopupSupprimer",
                                          "mnuPopupDalmure",
                                          "mnuPopupImprimer"};
        const int k = chance(3) ? 5 : pick(5);
        if (k == 0 && !fromMenu)
            return planCommand(fromMenu);
        const auto& rename = any(kRenames);
        plan(items[k], chance(50) ? rename.first : QString(), count() > 3 && chance(50));
        return items[k];
    }
    // After a command ran on sel_: the account follows the answers given.
    bool commandRan(const QString& item, bool fromMenu) {
        const QString expected = item == u"mnuPopupRenommer"_s    ? u"prompt"_s
                                 : item == u"mnuPopupSupprimer"_s ? u"confirm"_s
                                 : item == u"mnuPopupImprimer"_s  ? u"print"_s
                                                                  : QString();
        QStringList want;
        if (fromMenu)
            want << u"menu"_s;
        if (!expected.isEmpty())
            want << expected;
        if (modals_ != want)
            return fail(u"windows shown: %1, expected: %2"_s, modals_.join(u' '), want.join(u' '));
        if (item == u"mnuPopupRenommer"_s && !promptAnswer_.isEmpty()) {
            for (const auto& [answer, desc] : kRenames)
                if (answer == promptAnswer_)
                    annos_[static_cast<std::size_t>(sel_)].desc = desc;
        }
        if (item == u"mnuPopupSupprimer"_s && confirmDelete_) {
            annos_.erase(annos_.begin() + sel_);
            sel_ = w().selected();
            if (where_ != Where::Host && where_ != Where::Find)
                where_ = Where::List;
        }
        return true;
    }
    // Runs the command planned for item (act: the clerk's click or key), waits for the print it
    // started to end (its dialog cancelled), and checks what it showed.
    template <class Act> bool runCommand(const QString& item, bool fromMenu, Act act) {
        steps_.last() += u"%1 '%2'%3"_s.arg(item, promptAnswer_, confirmDelete_ ? " yes" : "");
        QSignalSpy printed(&w(), &DalmureWidget::printFinished);
        act();
        if (item == u"mnuPopupImprimer"_s && printed.isEmpty() && !printed.wait(60000))
            return fail(u"the print never ended"_s);
        return commandRan(item, fromMenu);
    }

    // --- The actions ---------------------------------------------------------------------

    bool click() {
        const int i = visibleAnno();
        if (i < 0)
            return true;
        steps_.last() += QString::number(i);
        QTest::mouseClick(f_.viewport(), Qt::LeftButton, {}, descriptionOf(i));
        sel_ = i, where_ = Where::Notes;
        return true;
    }
    bool doubleClick() {
        const int i = visibleAnno(true);
        if (i < 0)
            return true;
        steps_.last() += QString::number(i);
        // Through the window, as the desktop sends it: press, release, and the second press
        // that Qt makes the double click of.
        QWidget* top = f_.window();
        QTest::mouseDClick(top->windowHandle(), Qt::LeftButton, {},
                           f_.viewport()->mapTo(top, descriptionOf(i)));
        sel_ = i, where_ = Where::List;
        return true;
    }
    bool rightClick() {
        const int i = visibleAnno();
        if (i < 0)
            return true;
        steps_.last() += u"%1 "_s.arg(i);
        return runCommand(planCommand(true), true, [&] {
            rightClickThroughWindow(f_.viewport(), descriptionOf(i));
            sel_ = i, where_ = Where::Notes;
        });
    }
    bool menuKey() {
        if (where_ != Where::Notes && where_ != Where::Grid)
            return true;
        return runCommand(planCommand(true), true, [&] {
            // Through the window: Qt makes the keyboard's context menu event of it there.
            // Its release goes to the menu, which has the keyboard by then.
            QTest::keyPress(f_.window()->windowHandle(), Qt::Key_Menu);
            QCoreApplication::processEvents();
            if (where_ == Where::Grid)
                where_ = Where::List;
        });
    }
    bool button() {
        // Clicked while the clerk writes notes: when the command ends the keyboard is back in
        // them, whatever its prompt or dialog answered.
        if (where_ != Where::Notes)
            return true;
        using platform::ButtonId;
        static const std::vector<std::pair<ButtonId, QString>> buttons = {
            {ButtonId::Play, u"mnuPopupJouer"_s},       {ButtonId::Rename, u"mnuPopupRenommer"_s},
            {ButtonId::Delete, u"mnuPopupSupprimer"_s}, {ButtonId::View, u"mnuPopupDalmure"_s},
            {ButtonId::Print, u"mnuPopupImprimer"_s},   {ButtonId::EntryStyleTwo, QString()},
            {ButtonId::EntryStyleOne, QString()}};
        QString item = planCommand(false);
        std::vector<ButtonId> ids;
        for (const auto& [id, name] : buttons)
            if ((name == item || (name.isEmpty() && chance(10))) && p().buttonShown(id))
                ids.push_back(id);
        if (ids.empty())
            return true;
        const ButtonId id = any(ids);
        if (id == ButtonId::EntryStyleOne || id == ButtonId::EntryStyleTwo)
            item.clear(), styleTwo_ = id == ButtonId::EntryStyleTwo;
        QToolButton* b = p().buttonWidget(id);
        steps_.last() += b->objectName() + u' ';
        return runCommand(item, false, [&] {
            QTest::mouseClick(b, Qt::LeftButton);
            QCoreApplication::processEvents();
        });
    }
    bool wheel() {
        const bool down = chance(60);
        steps_.last() += down ? u"down"_s : u"up"_s;
        QWidget* port = f_.viewport();
        const QPointF at(port->width() / 2.0, port->height() / 2.0);
        QWheelEvent e(at, port->mapToGlobal(at), QPoint(), QPoint(0, down ? -120 : 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(port, &e);
        QCoreApplication::processEvents();
        if (where_ == Where::Notes)
            where_ = Where::List;
        return true;
    }
    bool escape() {
        const Where before = where_;
        if (!press(Qt::Key_Escape))
            return false;
        if (before == Where::Notes || before == Where::List)
            where_ = Where::Grid;
        else if (before == Where::Find) {
            findShown_ = false;
            where_ = editorRow() >= 0 ? Where::Notes : Where::Grid;
        }
        return true;
    }
    bool tab() {
        const bool back = chance(50);
        steps_.last() += back ? u"back"_s : QString();
        if (!press(back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier))
            return false;
        return takeKeyboardAsItIs();
    }
    bool moveKey() {
        if (where_ != Where::Grid)
            return true;
        static const Qt::Key moves[] = {Qt::Key_Up,  Qt::Key_Down,   Qt::Key_Home,
                                        Qt::Key_End, Qt::Key_PageUp, Qt::Key_PageDown};
        const Qt::Key k = moves[pick(6)];
        steps_.last() += QKeySequence(k).toString();
        int expected = k == Qt::Key_Up     ? std::max(sel_ - 1, 0)
                       : k == Qt::Key_Down ? std::min(sel_ + 1, count() - 1)
                       : k == Qt::Key_Home ? 0
                       : k == Qt::Key_End  ? count() - 1
                                           : -1;
        if (!press(k))
            return false;
        if (expected < 0 || findShown_)
            expected = w().selected();
        if (w().selected() != expected)
            return fail(u"the move selected %1, not %2"_s, w().selected(), expected);
        sel_ = expected;
        where_ = Where::List;
        return true;
    }
    bool openFind() {
        if (where_ != Where::Notes && where_ != Where::List && where_ != Where::Grid)
            return true;
        if (!press(Qt::Key_F, Qt::ControlModifier))
            return false;
        findShown_ = true;
        where_ = Where::Find;
        findText_ = f_.findLine()->text();
        return true;
    }
    bool findKeys() {
        if (!findShown_ ||
            (where_ != Where::Find && where_ != Where::Notes && where_ != Where::List))
            return true;
        if (where_ == Where::Find && chance(40)) {
            static const QStringList parts = {u"tem"_s, u"pau"_s, u"reprise"_s,
                                              u"p-1"_s, u"\b"_s,  u"ouv"_s};
            const QString text = any(parts);
            steps_.last() += u"type '%1'"_s.arg(text);
            return keys(text);
        }
        const int k = pick(where_ == Where::Find ? 4 : 2);
        steps_.last() += QStringList{"F3", "Shift+F3", "Enter", "Esc"}[k];
        if (k == 3)
            return escape();
        if (!press(k == 2 ? Qt::Key_Return : Qt::Key_F3,
                   k == 1 ? Qt::ShiftModifier : Qt::NoModifier))
            return false;
        // The next match's notes take the keyboard; with no match it stays where it was.
        if (focused() == p().editorWidget())
            where_ = Where::Notes, sel_ = w().selected();
        else if (!keyboardWhereExpected())
            return fail(u"after F3 the keyboard is on "_s + nameOfFocus());
        return true;
    }
    bool resize() {
        const QSize s(500 + pick(400), 260 + pick(500));
        steps_.last() += u"%1x%2"_s.arg(s.width()).arg(s.height());
        f_.window()->resize(s);
        QCoreApplication::processEvents();
        return true;
    }
    bool hostField() {
        if (where_ == Where::Host)
            return true;
        // At the field's right end: the caret after its text.
        QLineEdit* field = host();
        QTest::mouseClick(field, Qt::LeftButton, {},
                          QPoint(field->width() - 4, field->height() / 2));
        where_ = Where::Host;
        return true;
    }
    bool hostFocusesControl() {
        if (where_ != Where::Host || sel_ < 0)
            return true;
        // Into the open notes; with none open (closed by Esc or a scroll), into the list.
        const bool notesShown = p().editorWidget()->isVisible();
        w().setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        if (!takeKeyboardAsItIs())
            return false;
        if (where_ != Where::Notes && (notesShown || where_ != Where::List))
            return fail(u"the host's focus went to "_s + nameOfFocus());
        return true;
    }
    QString freeTime() {
        for (;;) {
            const int s = 9 * 3600 + pick(8 * 3600);
            const QString t = QTime::fromMSecsSinceStartOfDay(s * 1000).toString(u"HH:mm:ss"_s);
            if (std::none_of(annos_.begin(), annos_.end(),
                             [&](const Anno& a) { return a.time == t; }))
                return t;
        }
    }
    bool hostAdd() {
        Anno a{freeTime(), any(kDescriptions), any(kDataTexts)};
        steps_.last() += u"%1 '%2' '%3'"_s.arg(a.time, a.desc, a.notes);
        int at = 0;
        while (at < count() && annos_[static_cast<std::size_t>(at)].time < a.time)
            ++at;
        w().annoAdd(a.time, a.desc, a.notes);
        QCoreApplication::processEvents();
        annos_.insert(annos_.begin() + at, a);
        // Like a click, the add opens the notes of the new annotation with the keyboard, from
        // wherever it was but the find bar, where the clerk goes on typing the search.
        sel_ = at;
        if (where_ != Where::Find)
            where_ = Where::Notes;
        if (w().selected() != at)
            return fail(u"the add selected %1, not %2"_s, w().selected(), at);
        return true;
    }
    bool hostDelete() {
        if (count() <= 3 || sel_ < 0)
            return hostAdd();
        // The control removes the selected annotation, as the host's answer to a request.
        const int i = w().selected();
        steps_.last() += QString::number(i);
        w().annoDelete(i);
        QCoreApplication::processEvents();
        annos_.erase(annos_.begin() + i);
        sel_ = w().selected();
        if (where_ != Where::Find)
            where_ = Where::Notes;
        return true;
    }
    bool hostClear() {
        w().clearAll();
        annos_.clear();
        sel_ = -1;
        for (int i = 0; i < 4; ++i)
            if (!hostAdd())
                return false;
        return true;
    }
    bool type() {
        if (where_ == Where::Button)
            return tab();
        QString text;
        if (where_ == Where::Host) {
            text = hostText_.size() > 12 ? u"\b\b\b"_s : u"abé"_s;
        } else if (where_ == Where::Find) {
            text = u"tém"_s;
        } else {
            const int words = 1 + pick(3);
            for (int i = 0; i < words; ++i) {
                const QString& word = any(kWords);
                const QString& ending = any(kEndings);
                // An abbreviation starts a word of its own.
                const QString before = annos_[static_cast<std::size_t>(sel_)].notes + text;
                if (!before.isEmpty() && wordChar(before.back()))
                    text += u' ';
                text += word + (styleTwo_ && ending == u"\r"_s ? u" "_s : ending);
            }
            // A character opens the notes from the list; Backspace and Enter are the list's.
            if (where_ != Where::Notes && (text[0] == u'\b' || text[0] == u'\r' || text[0] == u' '))
                text[0] = u'x';
        }
        QString shown = text;
        shown.replace(u'\r', u"⏎"_s).replace(u'\b', u"⌫"_s);
        steps_.last() += u"'%1'"_s.arg(shown);
        return keys(text);
    }

    struct Action {
        int weight;
        const char* name;
        bool (QtClerkTest::*run)();
    };
    static constexpr Action kActions[] = {
        {14, "click ", &QtClerkTest::click},
        {4, "double click ", &QtClerkTest::doubleClick},
        {5, "right click ", &QtClerkTest::rightClick},
        {4, "wheel ", &QtClerkTest::wheel},
        {5, "Esc", &QtClerkTest::escape},
        {4, "Tab ", &QtClerkTest::tab},
        {6, "move ", &QtClerkTest::moveKey},
        {3, "menu key ", &QtClerkTest::menuKey},
        {8, "button ", &QtClerkTest::button},
        {3, "Ctrl+F", &QtClerkTest::openFind},
        {5, "find ", &QtClerkTest::findKeys},
        {5, "resize ", &QtClerkTest::resize},
        {3, "host field", &QtClerkTest::hostField},
        {2, "host focuses the control", &QtClerkTest::hostFocusesControl},
        {3, "host add ", &QtClerkTest::hostAdd},
        {2, "host delete ", &QtClerkTest::hostDelete},
        {1, "host clear", &QtClerkTest::hostClear},
        {36, "type ", &QtClerkTest::type},
    };

    // The host's confirmation of a delete, answered by the clerk with the mouse or Esc.
    void confirmDelete(qint16& index) {
        QMessageBox box(QMessageBox::Question, u"Orvane"_s, u"Supprimer l'annotation ?"_s,
                        QMessageBox::Yes | QMessageBox::No, f_.window());
        box.setDefaultButton(QMessageBox::No);
        QTimer::singleShot(0, &box, [this, &box] {
            auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            modals_ << u"confirm"_s;
            if (modal != &box) {
                fail(u"the host's confirmation is not the active window"_s);
                box.reject();
            } else if (confirmDelete_) {
                QTest::mouseClick(box.button(QMessageBox::Yes), Qt::LeftButton);
            } else {
                QTest::keyClick(&box, Qt::Key_Escape);
            }
        });
        if (box.exec() == QMessageBox::Yes)
            w().annoDelete(index);
    }
    // The control's menus, prompts and dialogs, answered with real events.
    void driveModal(QWidget* modal) {
        if (auto* menu = qobject_cast<QMenu*>(modal)) {
            modals_ << u"menu"_s;
            chooseOrClose(menu, menuItem(menu, menuChoice_));
        } else if (modal->inherits("QAbstractPrintDialog")) {
            modals_ << u"print"_s;
            QTest::keyClick(modal, Qt::Key_Escape);
        } else if (auto* edit = modal->findChild<QLineEdit*>()) {
            modals_ << u"prompt"_s;
            // The desktop makes a new dialog the active window.
            (void)backToFront(modal);
            if (promptAnswer_.isEmpty()) {
                QTest::keyClick(modal, Qt::Key_Escape);
                return;
            }
            edit->selectAll();
            for (QChar c : promptAnswer_) {
                if (modal->focusWidget() != edit) {
                    fail(u"the prompt's field does not have the keyboard: "_s + nameOfFocus());
                    break;
                }
                QTest::keyClicks(edit, QString(c));
            }
            if (!promptAnswer_.startsWith(edit->text()))
                fail(u"the prompt holds \"%1\""_s, edit->text());
            QTest::keyClick(edit, Qt::Key_Return);
        } else {
            modals_ << u"message"_s;
            QTest::keyClick(modal, Qt::Key_Escape);
        }
    }

    static int fromEnv(const char* name, int fallback) {
        bool ok = false;
        const int v = qEnvironmentVariable(name).toInt(&ok);
        return ok ? v : fallback;
    }

  private slots:
    void init() {
        QtPlatformOptions options;
        options.htmlProgram = u"true"; // View starts no browser
        QVERIFY(f_.open(
            "[Notes]\r\nGlossary=glossaire.txt\r\nTypographicApostrophe=1\r\n",
            {{u"glossaire.txt"_s, QByteArray("tem\ttémoin\npla\tplaignant\nobj\tobjection\n")}},
            std::move(options)));
        QVERIFY(w().glossaryAdd(u"lef"_s, u"Me Marc Lefebvre"_s));
        p().setModalDriver([this](QWidget* modal) { driveModal(modal); });
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [this](qint16& index) { confirmDelete(index); });
    }
    void cleanup() { f_.close(); }

    void everyKeyLandsWhereTheClerkMeantIt() {
        seed_ = static_cast<unsigned>(fromEnv("DALMURE_CLERK_SEED", 21));
        const int steps = fromEnv("DALMURE_CLERK_STEPS", test::randomSteps(3000));
        rng_.seed(seed_);
        int total = 0;
        for (const Action& a : kActions)
            total += a.weight;
        for (int i = 0; i < 12 && failure_.isEmpty(); ++i) {
            steps_ << u"host add "_s;
            hostAdd();
        }
        for (int step = 0; step < steps && failure_.isEmpty(); ++step) {
            int r = pick(total);
            const Action* a = kActions;
            while (r >= a->weight)
                r -= a->weight, ++a;
            steps_ << QString::fromUtf8(a->name);
            const bool ran = (this->*a->run)();
            // The event loop runs between two of the clerk's actions.
            QCoreApplication::processEvents();
            // The desktop gives the window back its activation once a modal window closes;
            // the offscreen platform leaves it with
            // none, or with the menu that closed.
            if (QApplication::activeWindow() != f_.window() &&
                QApplication::activeModalWidget() == nullptr &&
                QApplication::activePopupWidget() == nullptr) {
                (void)backToFront(f_.window());
                QApplication::setActiveWindow(f_.window());
            }
            if (ran)
                listAsAccounted();
            if (findShown_ && !p().findBarWidget()->isVisible())
                fail(u"the find bar closed"_s);
        }
        if (!failure_.isEmpty()) {
            QStringList shown;
            const qsizetype from = std::max<qsizetype>(0, steps_.size() - 60);
            for (qsizetype i = from; i < steps_.size(); ++i)
                shown << u"%1: %2"_s.arg(i).arg(
                    QString(steps_[i]).replace(u'\r', u"⏎"_s).replace(u'\n', QString()));
            QFAIL(qPrintable(u"seed %1, step %2: %3\n%4"_s.arg(seed_)
                                 .arg(steps_.size() - 1)
                                 .arg(failure_, shown.join(u'\n'))));
        }
        qInfo("seed %u: %d steps", seed_, steps);
    }
};

QTEST_MAIN(QtClerkTest)
#include "qt_clerk_test.moc"
