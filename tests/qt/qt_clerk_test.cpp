// A clerk's whole input at random, checked against an account of where each key must land and
// what each annotation holds. DALMURE_CLERK_SEED and DALMURE_CLERK_STEPS choose the run.
#include "qt_test_support.h"
#include "random_steps.h"

#include <QMessageBox>
#include <QSignalSpy>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

using platform::ButtonId;

namespace {

// List: the list or the notes (a character opens the notes of the selected annotation).
enum class Where { Notes, List, Grid, Host, Find, Button };

QLatin1String nameOf(Where w) {
    const char* const names[] = {"notes", "list", "grid", "host field", "find bar", "button"};
    return QLatin1String(names[static_cast<int>(w)]);
}

struct Anno {
    QString time, desc, notes;
};

// The glossary file's and the one the host adds.
const std::map<QString, QString> kGlossary = {
    {"tem", "témoin"}, {"pla", "plaignant"}, {"obj", "objection"}, {"lef", "Me Marc Lefebvre"}};

const QStringList kWords = {"tem",    "Tem", "pla",     "obj",      "lef",
                            "déposé", "à",   "l'heure", "d'accord", "ça",
                            "pièce",  "P1",  "reprise", "Était",    "qu'il"};
const QStringList kEndings = {" ", ". ", ", ", "\r", "\b", ""};
const QStringList kDescriptions = {
    "Ouverture de l'audience", "Témoin", "Pause", "Objection", "Pièce P-1", "Reprise"};
const QStringList kDataTexts = {"", "", "Jugement le 19 avril", "Ligne un\r\nligne deux"};
// Rename answers and the descriptions they give: the prompt expands abbreviations.
const std::vector<std::pair<QString, QString>> kRenames = {
    {"Interrogatoire", "Interrogatoire"},
    {"Contre tem", "Contre témoin"},
    {"Plaidoirie finale", "Plaidoirie finale"}};
// Each command: its item in the menu, its button, the window it shows.
const std::tuple<QString, ButtonId, QString> kCommands[] = {
    {"mnuPopupJouer", ButtonId::Play, ""},
    {"mnuPopupRenommer", ButtonId::Rename, "prompt"},
    {"mnuPopupSupprimer", ButtonId::Delete, "confirm"},
    {"mnuPopupDalmure", ButtonId::View, ""},
    {"mnuPopupImprimer", ButtonId::Print, "print"},
    {"", ButtonId::EntryStyleTwo, ""},
    {"", ButtonId::EntryStyleOne, ""}};

// The notes after one key: a word ended by a space, punctuation or Enter is expanded when it is
// an abbreviation, in the case it was typed.
void applyKey(QString& t, QChar c) {
    if (c == u'\b')
        return t.chop(t.endsWith(u"\r\n"_s) ? 2 : t.isEmpty() ? 0 : 1);
    if (c == u'\r' || c == u' ' || u".,;:!?"_s.contains(c)) {
        qsizetype start = t.size();
        while (start > 0 && t[start - 1].isLetterOrNumber())
            --start;
        const QString word = t.mid(start);
        const auto it = kGlossary.find(word.toLower());
        if (it != kGlossary.end() && word.size() > 1 && word == word.toUpper())
            t = t.left(start) + it->second.toUpper();
        else if (it != kGlossary.end())
            t = t.left(start) + (word[0].isUpper() ? it->second[0].toUpper() : it->second[0]) +
                it->second.mid(1);
    }
    t += c == u'\r' ? u"\r\n"_s : c == u'\'' ? QString(QChar(u'\u2019')) : QString(c);
}

} // namespace

class QtClerkTest : public QObject, WidgetFixture {
    Q_OBJECT

    std::mt19937 rng_;
    QStringList steps_;
    QString failure_;

    std::vector<Anno> annos_;
    int sel_ = -1;
    Where where_ = Where::Notes;
    bool findShown_ = false, styleTwo_ = false;
    QString findText_, hostText_;

    // What the next menu, prompt and confirmation get, and the modal windows seen.
    QString menuChoice_, promptAnswer_;
    bool confirmDelete_ = false;
    QStringList modals_;

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool chance(int percent) { return pick(100) < percent; }
    template <class List> const auto& any(const List& list) {
        return list[static_cast<std::size_t>(pick(static_cast<int>(list.size())))];
    }
    int count() const { return static_cast<int>(annos_.size()); }
    Anno& selected() { return annos_[static_cast<std::size_t>(sel_)]; }
    QString editorText() { return QString::fromStdU16String(p().editor().text()); }
    int editorRow() { return controlOf(w()).editorRow(); }

    // Keeps the first fault, its %1, %2 ... filled in; the run stops at the end of the action.
    template <class... Args> bool fail(QString why, const Args&... args) {
        ((why = why.arg(args)), ...);
        if (failure_.isEmpty())
            failure_ = why;
        return false;
    }
    std::optional<Where> placeOf(QWidget* f) {
        return f == editor()                              ? Where::Notes
               : f == view()                              ? Where::Grid
               : f == elsewhere()                         ? Where::Host
               : f == findLine()                          ? Where::Find
               : qobject_cast<QToolButton*>(f) != nullptr ? std::optional(Where::Button)
                                                          : std::nullopt;
    }
    bool keyboardWhereExpected() {
        const auto place = placeOf(focused());
        return place == where_ ||
               (where_ == Where::List && (place == Where::Notes || place == Where::Grid));
    }
    // After a move the widget chooses (Tab, a host's call); false when the clerk cannot type there.
    bool takeKeyboardAsItIs() {
        const auto place = placeOf(focused());
        if (!place)
            return fail(u"the keyboard went to "_s + focusName());
        where_ = *place == Where::Grid ? Where::List : *place;
        if (where_ == Where::Notes || where_ == Where::List)
            sel_ = w().selected();
        if (where_ == Where::Find)
            findText_ = findLine()->text();
        return true;
    }

    bool key(QChar c) {
        const QString shown = c == u'\b' ? u"Backspace"_s : c == u'\r' ? u"Enter"_s : QString(c);
        if (!keyboardWhereExpected())
            return fail(u"key '%1' should go to the %2, the keyboard is on %3"_s, shown,
                        nameOf(where_), focusName());
        QWidget* target = QApplication::focusWidget();
        // A line edit reached by Tab or Ctrl+F has its text selected: the key replaces it.
        auto* line = qobject_cast<QLineEdit*>(target);
        const bool replaces =
            line != nullptr && line->hasSelectedText() && line->selectedText() == line->text();
        typeChar(target, QString(c));
        QCoreApplication::processEvents();
        if (where_ == Where::Host || where_ == Where::Find) {
            QString& want = where_ == Where::Host ? hostText_ : findText_;
            const QString got = where_ == Where::Host ? elsewhere()->text() : findLine()->text();
            if (replaces)
                want.clear();
            c == u'\b' ? want.chop(1) : void(want += c);
            return got == want || fail(u"key '%1' lost: the %2 holds \"%3\", not \"%4\""_s, shown,
                                       nameOf(where_), got, want);
        }
        applyKey(selected().notes, c);
        where_ = Where::Notes;
        if (w().selected() != sel_ || editorRow() != 2 * sel_ + 1)
            return fail(u"key '%1' should be in the notes of %2; selected %3, editor on row %4"_s,
                        shown, sel_, w().selected(), editorRow());
        return editorText() == selected().notes ||
               fail(u"key '%1' lost: the notes of %2 hold \"%3\", not \"%4\""_s, shown, sel_,
                    editorText(), selected().notes);
    }
    bool keys(const QString& text) {
        return std::all_of(text.begin(), text.end(), [this](QChar c) { return key(c); });
    }
    // Esc, Tab, F3, the move keys: they too must find the keyboard where the account says.
    bool press(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        if (!keyboardWhereExpected())
            return fail(u"%1 should go to the %2, the keyboard is on %3"_s,
                        QKeySequence(static_cast<int>(k) | static_cast<int>(mods)).toString(),
                        nameOf(where_), focusName());
        QTest::keyClick(QApplication::focusWidget(), k, mods);
        QCoreApplication::processEvents();
        return true;
    }

    // The open notes hold what was typed, the others what the host was given.
    void listAsAccounted() {
        QStringList shown, want;
        for (int i = 0; i < w().annoCount(); ++i)
            shown << u"%1 %2\t%3"_s.arg(w().annoTime(i), w().annoDesc(i),
                                        editorRow() == 2 * i + 1 ? editorText() : w().annoData(i));
        for (const Anno& a : annos_)
            want << u"%1 %2\t%3"_s.arg(a.time, a.desc, a.notes);
        if (shown != want)
            fail(u"the list holds\n%1\nnot\n%2"_s, shown.join(u'\n'), want.join(u'\n'));
    }

    // An annotation whose description row is in view (noted in the steps), or -1; for a double
    // click, wholly in view: a click on one cut by the edge scrolls the list under the mouse.
    int visibleAnno(bool whole = false) {
        std::vector<int> shown;
        const QRect port = viewport()->rect();
        for (int i = 0; i < count(); ++i) {
            const QRect r = p().cellRect(2 * i, 1);
            const QRect notes = p().cellRect(2 * i + 1, 1);
            if (r.isValid() && port.contains(r.center()) &&
                (!whole || (port.contains(r) && notes.isValid() && port.contains(notes))))
                shown.push_back(i);
        }
        const int i = shown.empty() ? -1 : any(shown);
        steps_.last() += i < 0 ? QString() : u"%1 "_s.arg(i);
        return i;
    }
    QPoint descriptionOf(int i) { return p().cellRect(2 * i, pick(2)).center(); }

    QString planCommand(bool fromMenu) {
        const int k = chance(3) ? 5 : pick(5);
        if (k == 0 && !fromMenu)
            return planCommand(fromMenu);
        const auto& rename = any(kRenames);
        confirmDelete_ = count() > 3 && chance(50);
        promptAnswer_ = chance(50) ? rename.first : QString();
        menuChoice_ = k == 0 ? QString() : std::get<0>(kCommands[k - 1]); // 0: closed with Esc
        modals_.clear();
        return menuChoice_;
    }
    // act: the clerk's click or key; a print's dialog is cancelled and its end awaited.
    template <class Act> void runCommand(const QString& item, bool fromMenu, Act act) {
        steps_.last() += u"%1 '%2'%3"_s.arg(item, promptAnswer_, confirmDelete_ ? " yes" : "");
        QSignalSpy printed(&w(), &DalmureWidget::printFinished);
        act();
        if (item == u"mnuPopupImprimer"_s && printed.isEmpty() && !printed.wait(60000))
            fail(u"the print never ended"_s);
        QStringList want = fromMenu ? QStringList{u"menu"_s} : QStringList();
        for (const auto& [name, id, dialog] : kCommands)
            if (name == item && !dialog.isEmpty())
                want << dialog;
        if (modals_ != want) {
            fail(u"windows shown: %1, expected: %2"_s, modals_.join(u' '), want.join(u' '));
            return;
        }
        for (const auto& [answer, desc] : kRenames)
            if (item == u"mnuPopupRenommer"_s && answer == promptAnswer_)
                selected().desc = desc;
        if (item == u"mnuPopupSupprimer"_s && confirmDelete_) {
            deleted(sel_);
            if (where_ != Where::Host && where_ != Where::Find)
                where_ = Where::List;
        }
    }

    // The one shown in its place is selected, its notes over it; the find bar's next match when
    // a search is on.
    void deleted(int i) {
        annos_.erase(annos_.begin() + i);
        sel_ = findShown_ ? w().selected() : std::min(i, count() - 1);
        if (!findShown_ && (w().selected() != sel_ || !editorOver(2 * sel_ + 1, 1)))
            fail(u"the delete selected %1, not %2; notes on row %3"_s, w().selected(), sel_,
                 editorRow());
    }

    void click() {
        const int i = visibleAnno();
        if (i < 0)
            return;
        QTest::mouseClick(viewport(), Qt::LeftButton, {}, descriptionOf(i));
        sel_ = i, where_ = Where::Notes;
    }
    void doubleClick() {
        const int i = visibleAnno(true);
        if (i < 0)
            return;
        // Through the window, as the desktop sends it, for Qt to make the double click.
        QTest::mouseDClick(window()->windowHandle(), Qt::LeftButton, {},
                           viewport()->mapTo(window(), descriptionOf(i)));
        sel_ = i, where_ = Where::List;
    }
    void rightClick() {
        const int i = visibleAnno();
        if (i < 0)
            return;
        runCommand(planCommand(true), true, [&] {
            rightClickThroughWindow(viewport(), descriptionOf(i));
            sel_ = i, where_ = Where::Notes;
        });
    }
    void menuKey() {
        if (where_ != Where::Notes && where_ != Where::Grid)
            return;
        runCommand(planCommand(true), true, [&] {
            // Through the window, where Qt makes the context menu event of it; the release goes
            // to the menu, which has the keyboard by then.
            QTest::keyPress(window()->windowHandle(), Qt::Key_Menu);
            QCoreApplication::processEvents();
            if (where_ == Where::Grid)
                where_ = Where::List;
        });
    }
    // Clicked while the clerk writes notes: when the command ends the keyboard is back in them,
    // whatever its prompt or dialog answered.
    void button() {
        if (where_ != Where::Notes)
            return;
        QString item = planCommand(false);
        std::vector<ButtonId> ids;
        for (const auto& [name, id, dialog] : kCommands)
            if ((name == item || (name.isEmpty() && chance(10))) && p().buttonShown(id))
                ids.push_back(id);
        if (ids.empty())
            return;
        const ButtonId id = any(ids);
        if (id == ButtonId::EntryStyleOne || id == ButtonId::EntryStyleTwo)
            item.clear(), styleTwo_ = id == ButtonId::EntryStyleTwo;
        QToolButton* b = p().buttonWidget(id);
        steps_.last() += b->objectName() + u' ';
        runCommand(item, false, [&] {
            QTest::mouseClick(b, Qt::LeftButton);
            QCoreApplication::processEvents();
        });
    }
    void wheel() {
        const bool down = chance(60);
        steps_.last() += down ? u"down"_s : u"up"_s;
        wheelNotch(viewport(), down ? -120 : 120);
        QCoreApplication::processEvents();
        if (where_ == Where::Notes)
            where_ = Where::List;
    }
    void escape() {
        const Where before = where_;
        if (!press(Qt::Key_Escape))
            return;
        if (before == Where::Notes || before == Where::List)
            where_ = Where::Grid;
        else if (before == Where::Find)
            findShown_ = false, where_ = editorRow() >= 0 ? Where::Notes : Where::Grid;
    }
    void tab() {
        const bool back = chance(50);
        steps_.last() += back ? u"back"_s : QString();
        if (press(back ? Qt::Key_Backtab : Qt::Key_Tab, back ? Qt::ShiftModifier : Qt::NoModifier))
            takeKeyboardAsItIs();
    }
    void moveKey() {
        if (where_ != Where::Grid)
            return;
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
            return;
        if (expected < 0 || findShown_)
            expected = w().selected();
        if (w().selected() != expected)
            fail(u"the move selected %1, not %2"_s, w().selected(), expected);
        sel_ = expected, where_ = Where::List;
    }
    void openFind() {
        if (where_ != Where::Notes && where_ != Where::List && where_ != Where::Grid)
            return;
        if (!press(Qt::Key_F, Qt::ControlModifier))
            return;
        findShown_ = true, where_ = Where::Find;
        findText_ = findLine()->text();
    }
    void findKeys() {
        if (!findShown_ ||
            (where_ != Where::Find && where_ != Where::Notes && where_ != Where::List))
            return;
        if (where_ == Where::Find && chance(40)) {
            static const QStringList parts = {u"tem"_s, u"pau"_s, u"reprise"_s,
                                              u"p-1"_s, u"\b"_s,  u"ouv"_s};
            const QString text = any(parts);
            steps_.last() += u"type '%1'"_s.arg(text);
            keys(text);
            return;
        }
        const int k = pick(where_ == Where::Find ? 4 : 2);
        steps_.last() += QStringList{"F3", "Shift+F3", "Enter", "Esc"}[k];
        if (k == 3)
            return escape();
        if (!press(k == 2 ? Qt::Key_Return : Qt::Key_F3,
                   k == 1 ? Qt::ShiftModifier : Qt::NoModifier))
            return;
        // The next match's notes take the keyboard; with no match it stays where it was.
        if (focused() == editor())
            where_ = Where::Notes, sel_ = w().selected();
        else if (!keyboardWhereExpected())
            fail(u"after F3 the keyboard is on "_s + focusName());
    }
    void resize() {
        const QSize s(500 + pick(400), 260 + pick(500));
        steps_.last() += u"%1x%2"_s.arg(s.width()).arg(s.height());
        window()->resize(s);
        QCoreApplication::processEvents();
    }
    // A click at the field's right end: the caret after its text.
    void hostField() {
        if (where_ != Where::Host)
            QTest::mouseClick(elsewhere(), Qt::LeftButton, {},
                              QPoint(elsewhere()->width() - 4, elsewhere()->height() / 2));
        where_ = Where::Host;
    }
    // Into the open notes; with none open (closed by Esc or a scroll), into the list.
    void hostFocusesControl() {
        if (where_ != Where::Host || sel_ < 0)
            return;
        const bool notesShown = editor()->isVisible();
        w().setFocus(Qt::OtherFocusReason);
        QCoreApplication::processEvents();
        if (!takeKeyboardAsItIs())
            return;
        if (where_ != Where::Notes && (notesShown || where_ != Where::List))
            fail(u"the host's focus went to "_s + focusName());
    }
    QString freeTime() {
        for (;;) {
            const int s = 9 * 3600 + pick(8 * 3600);
            const QString t = QTime::fromMSecsSinceStartOfDay(s * 1000).toString(u"HH:mm:ss"_s);
            if (std::ranges::none_of(annos_, [&](const Anno& a) { return a.time == t; }))
                return t;
        }
    }
    // Like a click, an add opens the new notes with the keyboard, but for a search being typed.
    void hostAdd() {
        Anno a{freeTime(), any(kDescriptions), any(kDataTexts)};
        steps_.last() += u"%1 '%2' '%3'"_s.arg(a.time, a.desc, a.notes);
        const auto at =
            std::ranges::find_if(annos_, [&](const Anno& b) { return b.time >= a.time; });
        sel_ = static_cast<int>(at - annos_.begin());
        w().annoAdd(a.time, a.desc, a.notes);
        QCoreApplication::processEvents();
        annos_.insert(at, a);
        if (where_ != Where::Find)
            where_ = Where::Notes;
        if (w().selected() != sel_)
            fail(u"the add selected %1, not %2"_s, w().selected(), sel_);
    }
    void hostDelete() {
        if (count() <= 3 || sel_ < 0)
            return hostAdd();
        const int i = w().selected();
        steps_.last() += QString::number(i);
        w().annoDelete(i);
        QCoreApplication::processEvents();
        deleted(i);
        if (where_ != Where::Find)
            where_ = Where::Notes;
    }
    void hostClear() {
        w().clearAll();
        annos_.clear();
        sel_ = -1;
        for (int i = 0; i < 4; ++i)
            hostAdd();
    }
    void type() {
        if (where_ == Where::Button)
            return tab();
        QString text = where_ == Where::Host   ? (hostText_.size() > 12 ? u"\b\b\b"_s : u"abé"_s)
                       : where_ == Where::Find ? u"tém"_s
                                               : QString();
        const int words = text.isEmpty() ? 1 + pick(3) : 0; // into the notes or the list
        for (int i = 0; i < words; ++i) {
            const QString& word = any(kWords);
            const QString& ending = any(kEndings);
            // An abbreviation starts a word of its own.
            const QString before = selected().notes + text;
            if (!before.isEmpty() && before.back().isLetterOrNumber())
                text += u' ';
            text += word + (styleTwo_ && ending == u"\r"_s ? u" "_s : ending);
        }
        // A character opens the notes from the list; Backspace, Enter and Space are the list's.
        if ((where_ == Where::List || where_ == Where::Grid) && u"\b\r "_s.contains(text[0]))
            text[0] = u'x';
        steps_.last() += u"'%1'"_s.arg(QString(text).replace(u'\r', u"⏎"_s).replace(u'\b', u"⌫"_s));
        keys(text);
    }

    struct Action {
        int weight;
        const char* name;
        void (QtClerkTest::*run)();
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

    // The host's confirmation, answered with the mouse or Esc.
    void confirmDelete(qint16& index) {
        QMessageBox box(QMessageBox::Question, u"Orvane"_s, u"Supprimer l'annotation ?"_s,
                        QMessageBox::Yes | QMessageBox::No, window());
        QTimer::singleShot(0, &box, [this, &box] {
            modals_ << u"confirm"_s;
            if (QApplication::activeModalWidget() != &box) {
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
    void driveModal(QWidget* modal) {
        auto* menu = qobject_cast<QMenu*>(modal);
        auto* edit = modal->findChild<QLineEdit*>();
        modals_ << (menu != nullptr                           ? u"menu"_s
                    : modal->inherits("QAbstractPrintDialog") ? u"print"_s
                    : edit != nullptr                         ? u"prompt"_s
                                                              : u"message"_s);
        if (menu != nullptr)
            return chooseOrClose(menu, menuItem(menu, menuChoice_));
        const bool prompt = modals_.last() == u"prompt"_s;
        if (prompt) // the desktop makes a new dialog the active window
            (void)backToFront(modal);
        if (!prompt || promptAnswer_.isEmpty())
            return QTest::keyClick(modal, Qt::Key_Escape);
        edit->selectAll();
        for (QChar c : promptAnswer_) {
            if (modal->focusWidget() != edit) {
                fail(u"the prompt's field does not have the keyboard: "_s + focusName());
                break;
            }
            QTest::keyClicks(edit, QString(c));
        }
        if (!promptAnswer_.startsWith(edit->text()))
            fail(u"the prompt holds \"%1\""_s, edit->text());
        QTest::keyClick(edit, Qt::Key_Return);
    }

  private slots:
    void init() {
        QtPlatformOptions options;
        options.htmlProgram = u"true"; // View starts no browser
        QVERIFY(open(
            "[Notes]\r\nGlossary=glossaire.txt\r\nTypographicApostrophe=1\r\n",
            {{u"glossaire.txt"_s, QByteArray("tem\ttémoin\npla\tplaignant\nobj\tobjection\n")}},
            std::move(options)));
        QVERIFY(w().glossaryAdd(u"lef"_s, u"Me Marc Lefebvre"_s));
        p().setModalDriver([this](QWidget* modal) { driveModal(modal); });
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [this](qint16& index) { confirmDelete(index); });
    }
    void cleanup() { close(); }

    void everyKeyLandsWhereTheClerkMeantIt() {
        const auto env = [](const char* name, int fallback) {
            return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
        };
        const auto seed = static_cast<unsigned>(env("DALMURE_CLERK_SEED", 21));
        const int steps = env("DALMURE_CLERK_STEPS", test::randomSteps(3000));
        rng_.seed(seed);
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
            (this->*a->run)();
            QCoreApplication::processEvents();
            // The desktop gives the window back its activation once a modal window closes; the
            // offscreen platform leaves it with none, or with the menu that closed.
            if (QApplication::activeWindow() != window() &&
                QApplication::activeModalWidget() == nullptr &&
                QApplication::activePopupWidget() == nullptr) {
                (void)backToFront(window());
                QApplication::setActiveWindow(window());
            }
            listAsAccounted();
            if (findShown_ && !p().findBarWidget()->isVisible())
                fail(u"the find bar closed"_s);
        }
        QStringList last;
        for (qsizetype i = std::max<qsizetype>(0, steps_.size() - 60); i < steps_.size(); ++i)
            last << u"%1: %2"_s.arg(i).arg(QString(steps_[i]).replace(u'\r', u"⏎"_s).remove(u'\n'));
        const QString at = u"seed %1, step %2: "_s.arg(seed).arg(steps_.size() - 1);
        QVERIFY2(failure_.isEmpty(), qPrintable(at + failure_ + u'\n' + last.join(u'\n')));
        qInfo("seed %u: %d steps", seed, steps);
    }
};

QTEST_MAIN(QtClerkTest)
#include "qt_clerk_test.moc"
