// The notes editor's writing tools with real keys and a real right click: Ctrl+Z after an
// expansion, the underline of misspelled words, and the menu's suggestions and "add to glossary".
// Mouse events go through the window system, so that a right click makes a desktop's menu event.
#define QTEST_QPA_MOUSE_HANDLING
#include "qt_test_support.h"

#include <QTextBlock>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

const QByteArray kIni = "[Notes]\r\nGlossary=glossaire.txt\r\nSpellCheck=1\r\n";
const QByteArray kGlossary = "# mots de l'audience\ntem\tt\xC3\xA9moin\npv\tproc\xC3\xA8s-verbal\n";

// The underlined ranges of the editor, as the words they cover.
QStringList underlined(QPlainTextEdit* ed) {
    QStringList out;
    for (const QTextEdit::ExtraSelection& s : ed->extraSelections())
        if (s.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
            out << s.cursor.selectedText();
    return out;
}

// Where the editor shows the character at position pos of its text, in its viewport.
QPoint charAt(QPlainTextEdit* ed, int pos) {
    QTextCursor c(ed->document());
    c.setPosition(pos);
    return ed->cursorRect(c).center() + QPoint(2, 0);
}

} // namespace

class QtNotesWritingTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    DalmureWidget& w() { return f_.w(); }
    QPlainTextEdit* editor() { return f_.editor(); }

    // Opens the editor's right-click menu over the character at pos and lets pick act on it:
    // it gets the menu and returns the action to trigger (none: the menu is closed).
    void rightClickMenu(int pos, const std::function<QAction*(QMenu*)>& pick) {
        bool shown = false;
        f_.p().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            shown = true;
            chooseOrClose(menu, pick(menu));
        });
        QTest::mouseClick(editor()->viewport(), Qt::RightButton, {}, charAt(editor(), pos));
        QCoreApplication::processEvents();
        QVERIFY(shown);
        // The menu gone, the window system gives the window back its activation, and with it
        // the focus to the editor.
        QVERIFY(backToFront(f_.window()));
        QCOMPARE(QApplication::focusWidget(), editor());
    }

  private slots:
    void init() {
        QVERIFY(f_.open(kIni, {{u"glossaire.txt"_s, kGlossary}}));
        w().annoAdd(u"10:00:00"_s, u"Ouverture"_s);
        f_.openNotes(1);
    }
    void cleanup() { f_.close(); }

    // One Ctrl+Z right after an expansion puts the abbreviation back; every further one is the
    // editor's own undo, stepping back over the typing, never expanding again.
    void ctrlZRightAfterAnExpansionPutsTheAbbreviationBackOnce() {
        typeKeys(u"le tem "_s, editor());
        QCOMPARE(editor()->toPlainText(), u"le t\u00e9moin "_s);
        QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor()->toPlainText(), u"le tem "_s);
        QCOMPARE(editor()->textCursor().position(), 7);
        QString before = editor()->toPlainText();
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
            const QString now = editor()->toPlainText();
            QVERIFY2(now.size() < before.size() || now.isEmpty(), qPrintable(now));
            QVERIFY2(u"le tem "_s.startsWith(now), qPrintable(now));
            before = now;
        }
        typeKeys(u"x"_s, editor());
        f_.leave();
        QCOMPARE(w().annoData(0), before + u"x"_s);
    }

    void theMenuOffersSuggestionsThatReplaceTheWord() {
        typeKeys(u"Le t\u00e9moin parlle fort. "_s, editor());
        QCOMPARE(underlined(editor()), QStringList{u"parlle"_s});
        QStringList offered;
        rightClickMenu(12, [&](QMenu* menu) -> QAction* {
            QAction* parle = nullptr;
            const QList<QAction*> actions = menu->actions();
            for (QAction* a : actions) {
                if (a->objectName() != u"spellingSuggestion"_s)
                    break; // the suggestions come first
                offered << a->text();
                if (a->text() == u"parle"_s)
                    parle = a;
            }
            return parle;
        });
        QVERIFY2(offered.contains(u"parle"_s), qPrintable(offered.join(u',')));
        QCOMPARE(editor()->toPlainText(), u"Le t\u00e9moin parle fort. "_s);
        QCOMPARE(underlined(editor()), QStringList());
        f_.leave();
        QCOMPARE(w().annoData(0), u"Le t\u00e9moin parle fort. "_s);
    }

    void theMenuAddsAWordToTheGlossary() {
        typeKeys(u"Me Zorglubienne plaide. "_s, editor());
        bool standardEntries = false;
        QString caption;
        rightClickMenu(6, [&](QMenu* menu) -> QAction* {
            QAction* add = menuItem(menu, u"spellingAdd"_s);
            caption = add != nullptr ? add->text() : QString();
            standardEntries = menuItem(menu, u"edit-copy"_s) != nullptr;
            return add;
        });
        QCOMPARE(caption, u"Ajouter au glossaire"_s);
        QVERIFY(standardEntries); // the widget's own entries stay below
        QCOMPARE(underlined(editor()), QStringList());
        QFile g(f_.folder() + u"/glossaire.txt"_s);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QVERIFY(g.readAll().endsWith("Zorglubienne\tZorglubienne\n"));
        // A right click on a word spelled right adds nothing to the menu.
        bool offered = false;
        rightClickMenu(1, [&](QMenu* menu) -> QAction* {
            for (QAction* a : menu->actions())
                offered = offered || a->objectName().startsWith(u"spelling"_s);
            return nullptr;
        });
        QVERIFY(!offered);
    }
};

QTEST_MAIN(QtNotesWritingTest)
#include "qt_notes_writing_test.moc"
