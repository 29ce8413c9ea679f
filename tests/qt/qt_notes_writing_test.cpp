// The notes editor's writing tools with real keys and a right click through the window system.
#define QTEST_QPA_MOUSE_HANDLING
#include "qt_test_support.h"

#include <QRegularExpression>

namespace {

QStringList underlined(QPlainTextEdit* ed) {
    QStringList out;
    for (const QTextEdit::ExtraSelection& s : ed->extraSelections())
        if (s.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
            out << s.cursor.selectedText();
    return out;
}

} // namespace

class QtNotesWritingTest : public QObject, HearingFixture {
    Q_OBJECT

    // Opens the editor's menu over the character at pos; pick returns the item to click (none:
    // the menu is closed). The window gets its activation back, and the editor the focus.
    void rightClickMenu(int pos, const std::function<QAction*(QMenu*)>& pick) {
        bool shown = false;
        p().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            shown = true;
            chooseOrClose(menu, pick(menu));
        });
        QTextCursor c(editor()->document());
        c.setPosition(pos);
        QTest::mouseClick(editor()->viewport(), Qt::RightButton, {},
                          editor()->cursorRect(c).center() + QPoint(2, 0));
        QCoreApplication::processEvents();
        QVERIFY(shown);
        QVERIFY(backToFront(window()));
        QCOMPARE(QApplication::focusWidget(), editor());
    }

  private slots:
    void init() {
        QVERIFY(openOn({u"Ouverture"_s}, "[Notes]\r\nGlossary=glossaire.txt\r\nSpellCheck=1\r\n",
                       {{u"glossaire.txt"_s, "# mots de l'audience\ntem\tt\xC3\xA9moin\n"
                                             "pv\tproc\xC3\xA8s-verbal\n"}}));
        openNotes(1);
    }
    void cleanup() { close(); }

    // Every further Ctrl+Z is the editor's own undo, never expanding again.
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
        leave();
        QCOMPARE(w().annoData(0), before + u"x"_s);
    }

    // Above the widget's own entries; over a word spelled right, neither.
    void theMenuOffersSuggestionsAndAddsToTheGlossary() {
        typeKeys(u"Le t\u00e9moin parlle fort. Me Zorglubienne plaide. "_s, editor());
        QCOMPARE(underlined(editor()), (QStringList{u"parlle"_s, u"Zorglubienne"_s}));
        QStringList offered;
        rightClickMenu(12, [&](QMenu* menu) -> QAction* {
            QAction* parle = nullptr;
            for (QAction* a : menu->actions()) {
                if (a->objectName() != u"spellingSuggestion"_s)
                    break; // the suggestions come first
                offered << a->text();
                parle = a->text() == u"parle"_s ? a : parle;
            }
            return parle;
        });
        QVERIFY2(offered.contains(u"parle"_s), qPrintable(offered.join(u',')));
        QCOMPARE(underlined(editor()), QStringList{u"Zorglubienne"_s});
        QString items, caption;
        rightClickMenu(28, [&](QMenu* menu) -> QAction* {
            items = itemsOf(menu);
            QAction* add = menuItem(menu, u"spellingAdd"_s);
            caption = add != nullptr ? add->text() : QString();
            return add;
        });
        QCOMPARE(caption, u"Ajouter au glossaire"_s);
        QVERIFY2(items.contains(QRegularExpression(u"spellingAdd .*edit-copy"_s)),
                 qPrintable(items));
        QCOMPARE(underlined(editor()), QStringList());
        QFile g(folder() + u"/glossaire.txt"_s);
        QVERIFY(g.open(QIODevice::ReadOnly));
        QVERIFY(g.readAll().endsWith("Zorglubienne\tZorglubienne\n"));
        rightClickMenu(1, [&](QMenu* menu) -> QAction* {
            items = itemsOf(menu);
            return nullptr;
        });
        QVERIFY2(!items.contains(u"spelling"_s), qPrintable(items));
        leave();
        QCOMPARE(w().annoData(0), u"Le t\u00e9moin parle fort. Me Zorglubienne plaide. "_s);
    }
};

QTEST_MAIN(QtNotesWritingTest)
#include "qt_notes_writing_test.moc"
