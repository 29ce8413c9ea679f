// The notes editor's writing tools on the real widget, typed with real keys: abbreviations
// expanded in the editor and kept in the notes, one Ctrl+Z putting the abbreviation back,
// misspelled words underlined, and the right-click menu's suggestions and "add to glossary".
// Mouse events go through the window system, so that a right click makes the context menu
// event a desktop would.
#define QTEST_QPA_MOUSE_HANDLING
#include "qt_test_support.h"

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextBlock>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

const QByteArray kIni = "[Notes]\r\nGlossary=glossaire.txt\r\nSpellCheck=1\r\n";
const QByteArray kGlossary = "# mots de l'audience\ntem\tt\xC3\xA9moin\npv\tproc\xC3\xA8s-verbal\n";

// Types text into the widget key by key; a letter beyond ASCII (é) comes as the key of that
// letter with its text, as a keyboard with the letter on a key sends it.
void typeKeys(QWidget* w, const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClicks(w, QString(c));
            continue;
        }
        const auto key = static_cast<Qt::Key>(c.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Press, w, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, key, QString(c), Qt::NoModifier);
    }
}

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

    QTemporaryDir dir_;
    std::unique_ptr<HostWindow> host_;
    DalmureWidget& w() { return *host_->control; }
    QPlainTextEdit* editor() { return host_->platform().editorWidget(); }

    // Opens the notes of the only annotation with a click on its cell.
    void openNotes() {
        const QRect r = host_->platform().cellRect(1, 1);
        QVERIFY(r.isValid());
        QTest::mouseClick(host_->platform().gridView()->viewport(), Qt::LeftButton, {}, r.center());
        QCoreApplication::processEvents();
        QVERIFY(editor()->isVisible());
        QVERIFY(editor()->hasFocus());
    }
    // Opens the editor's right-click menu over the character at pos and lets pick act on it:
    // it gets the menu and returns the action to trigger (none: the menu is closed).
    void rightClickMenu(int pos, const std::function<QAction*(QMenu*)>& pick) {
        bool shown = false;
        host_->platform().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            shown = true;
            if (QAction* a = pick(menu))
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            else
                QTest::keyClick(menu, Qt::Key_Escape);
        });
        QTest::mouseClick(editor()->viewport(), Qt::RightButton, {}, charAt(editor(), pos));
        QCoreApplication::processEvents();
        QVERIFY(shown);
        // The menu gone, the window system gives the window back its activation, and with it
        // the focus to the editor.
        host_->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(host_->window.get()));
        QCOMPARE(QApplication::focusWidget(), editor());
    }

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QVERIFY(makeAppFolder(dir_, kIni));
        QFile g(dir_.path() + QStringLiteral("/glossaire.txt"));
        QVERIFY(g.open(QIODevice::WriteOnly) && g.write(kGlossary) == kGlossary.size());
        g.close();
        host_ = std::make_unique<HostWindow>(dir_.path());
        w().annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Ouverture"));
        openNotes();
    }
    void cleanup() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    void abbreviationsExpandInTheEditorAndTheNotes() {
        QVERIFY(w().glossaryAdd(QStringLiteral("acc"), QStringLiteral("l\u2019accus\u00e9")));
        typeKeys(editor(), QStringLiteral("Le tem voit acc. PV"));
        QTest::keyClick(editor(), Qt::Key_Return);
        QCOMPARE(editor()->toPlainText(),
                 QStringLiteral("Le t\u00e9moin voit l\u2019accus\u00e9. PROC\u00c8S-VERBAL\n"));
        QCOMPARE(editor()->textCursor().position(), editor()->toPlainText().size());
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(w().annoData(0),
                 QStringLiteral("Le t\u00e9moin voit l\u2019accus\u00e9. PROC\u00c8S-VERBAL\r\n"));
    }

    void ctrlZRightAfterAnExpansionPutsTheAbbreviationBack() {
        typeKeys(editor(), QStringLiteral("le tem "));
        QCOMPARE(editor()->toPlainText(), QStringLiteral("le t\u00e9moin "));
        QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor()->toPlainText(), QStringLiteral("le tem "));
        QCOMPARE(editor()->textCursor().position(), 7);
        typeKeys(editor(), QStringLiteral("x"));
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(w().annoData(0), QStringLiteral("le tem x"));
    }

    void ctrlZAfterOtherTypingIsTheEditorsOwnUndo() {
        typeKeys(editor(), QStringLiteral("tem a"));
        QTest::keyClick(editor(), Qt::Key_Z, Qt::ControlModifier);
        // Not the expansion's undo: whatever the widget's own undo took back, the widget and
        // the notes agree.
        QVERIFY(editor()->toPlainText() != QStringLiteral("tem a"));
        const QString shown = editor()->toPlainText();
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(w().annoData(0), shown);
    }

    void misspelledWordsAreUnderlinedOnceTheyEnd() {
        typeKeys(editor(), QStringLiteral("Le t\u00e9moin parlle"));
        QCOMPARE(underlined(editor()), QStringList()); // still being typed
        typeKeys(editor(), QStringLiteral(" au tribunall."));
        QCOMPARE(underlined(editor()),
                 (QStringList{QStringLiteral("parlle"), QStringLiteral("tribunall")}));
        // Fixed with a Backspace, the word loses its line.
        for (int i = 0; i < 2; ++i)
            QTest::keyClick(editor(), Qt::Key_Backspace);
        typeKeys(editor(), QStringLiteral("."));
        QCOMPARE(underlined(editor()), QStringList{QStringLiteral("parlle")});
    }

    void theMenuOffersSuggestionsThatReplaceTheWord() {
        typeKeys(editor(), QStringLiteral("Le t\u00e9moin parlle fort. "));
        QStringList offered;
        rightClickMenu(12, [&](QMenu* menu) -> QAction* {
            QAction* parle = nullptr;
            const QList<QAction*> actions = menu->actions();
            for (QAction* a : actions) {
                if (a->objectName() != QStringLiteral("spellingSuggestion"))
                    break; // the suggestions come first
                offered << a->text();
                if (a->text() == QStringLiteral("parle"))
                    parle = a;
            }
            return parle;
        });
        QVERIFY2(offered.contains(QStringLiteral("parle")), qPrintable(offered.join(u',')));
        QCOMPARE(editor()->toPlainText(), QStringLiteral("Le t\u00e9moin parle fort. "));
        QCOMPARE(underlined(editor()), QStringList());
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(w().annoData(0), QStringLiteral("Le t\u00e9moin parle fort. "));
    }

    void theMenuAddsAWordToTheGlossary() {
        typeKeys(editor(), QStringLiteral("Me Zorglubienne plaide. "));
        bool standardEntries = false;
        rightClickMenu(6, [&](QMenu* menu) -> QAction* {
            QAction* add = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->objectName() == QStringLiteral("spellingAdd"))
                    add = a;
                standardEntries = standardEntries || a->objectName() == QStringLiteral("edit-copy");
            }
            return add;
        });
        QVERIFY(standardEntries); // the widget's own entries stay below
        QCOMPARE(underlined(editor()), QStringList());
        QFile g(dir_.path() + QStringLiteral("/glossaire.txt"));
        QVERIFY(g.open(QIODevice::ReadOnly));
        QVERIFY(g.readAll().endsWith("Zorglubienne\tZorglubienne\n"));
        // A right click on a word spelled right adds nothing to the menu.
        bool offered = false;
        rightClickMenu(1, [&](QMenu* menu) -> QAction* {
            for (QAction* a : menu->actions())
                offered = offered || a->objectName().startsWith(QStringLiteral("spelling"));
            return nullptr;
        });
        QVERIFY(!offered);
    }
};

QTEST_MAIN(QtNotesWritingTest)
#include "qt_notes_writing_test.moc"
