// The notes editor under real Qt events: a reopened note shows all the lines its row was sized
// for, the widget's own edits keep the host's line breaks, the notes being typed stay in view, a
// wheel notch scrolls by whole annotations, Backspace removes whole characters, and a right click
// opens the notes' text menu with the control's commands in it.
#include "qt_test_support.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QWheelEvent>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

// Where the editor shows the first and the last line of its text, in its viewport.
QRect lineRect(QPlainTextEdit* e, QTextCursor::MoveOperation where) {
    QTextCursor c(e->document());
    c.movePosition(where);
    return e->cursorRect(c);
}

} // namespace

class QtEditorTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    DalmureWidget& w() { return f_.w(); }
    QtPlatform& p() { return f_.p(); }

  private slots:
    void init() {
        QVERIFY(f_.open());
        w().annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Opening"));
        w().annoAdd(QStringLiteral("10:05:00"), QStringLiteral("Witness"));
    }
    void cleanup() { f_.close(); }

    void aReopenedNoteShowsEveryLineFromTheFirst_data() {
        QTest::addColumn<int>("lines");
        for (int lines : {2, 3, 5})
            QTest::addRow("%d lines", lines) << lines;
    }
    void aReopenedNoteShowsEveryLineFromTheFirst() {
        QFETCH(int, lines);
        QPlainTextEdit* ed = p().editorWidget();
        w().annoAdd(QStringLiteral("10:12:00"), QStringLiteral("Note"));
        for (int i = 0; i < lines; ++i) {
            if (i > 0)
                QTest::keyClick(ed, Qt::Key_Return);
            QTest::keyClicks(ed, QStringLiteral("line %1").arg(i + 1));
        }
        f_.leave();
        QCOMPARE(w().annoData(2).count(QStringLiteral("\r\n")), lines - 1);
        // Opened again, caret at the end: the first line stays at the top, the last one inside
        // the editor.
        f_.clickCell(4, 1);
        QCoreApplication::processEvents();
        QVERIFY(ed->isVisible());
        QCOMPARE(ed->blockCount(), lines);
        QCOMPARE(ed->verticalScrollBar()->value(), 0);
        QVERIFY(lineRect(ed, QTextCursor::Start).top() >= 0);
        const QRect last = lineRect(ed, QTextCursor::End);
        QVERIFY2(last.bottom() <= ed->viewport()->height() + 1,
                 qPrintable(QStringLiteral("last line ends at %1, editor %2 high")
                                .arg(last.bottom())
                                .arg(ed->viewport()->height())));
    }

    void editsOfTheWidgetKeepTheHostsLineBreaks() {
        QPlainTextEdit* ed = p().editorWidget();
        w().annoAdd(QStringLiteral("10:10:00"), QStringLiteral("Third"), QStringLiteral("a\nb\nc"));
        QCOMPARE(p().editor().selStart(), 5); // the caret after the host's text
        QTest::keyClick(ed, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(ed, Qt::Key_Delete);
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClicks(ed, QStringLiteral("Z"));
        QTest::keyClick(ed, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(ed, Qt::Key_X, Qt::ControlModifier); // cut
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier); // paste
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p().editor().text(), Str(u"a\nb\nZZ"));
        QCOMPARE(p().editor().selStart(), 6);
        f_.leave();
        QCOMPARE(w().annoData(2), QStringLiteral("a\nb\nZZ"));
    }

    // The notes being typed stay in view: the window shrinking under the last annotation's
    // notes scrolls the list to keep them shown, and keys typed after the clerk scrolled them
    // away bring them back first. No key is lost on the way.
    void theEditedNotesStayInView_data() {
        QTest::addColumn<bool>("clerkScrolls");
        QTest::newRow("the window shrinks") << false;
        QTest::newRow("the clerk scrolls away") << true;
    }
    void theEditedNotesStayInView() {
        QFETCH(bool, clerkScrolls);
        for (int i = 2; i < 14; ++i)
            w().annoAdd(QStringLiteral("10:%1:00").arg(10 + i), QStringLiteral("A%1").arg(i));
        const int last = 2 * 13 + 1;
        f_.focusGrid(1);
        press(Qt::Key_End);
        QCOMPARE(w().selected(), 13);
        typeKeys(QStringLiteral("D4"));
        const auto shownAndTyping = [&](const char* when) {
            QVERIFY2(p().editorWidget()->isVisible(), when);
            QVERIFY2(f_.editorOver(last, 1), when);
            QVERIFY2(p().cellRect(last, 1).bottom() <= f_.viewport()->height(), when);
            QCOMPARE(focused(), static_cast<QWidget*>(p().editorWidget()));
        };
        if (clerkScrolls) {
            QWidget* vp = f_.viewport();
            const QPoint at = vp->rect().center();
            for (int i = 0; i < 20; ++i) {
                QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(vp, &wheel);
            }
            QVERIFY(!f_.viewport()->rect().intersects(p().cellRect(last, 1)));
            typeKeys(QStringLiteral("E5"));
            shownAndTyping("after the clerk scrolled away");
        } else {
            f_.window()->resize(700, 300);
            QCoreApplication::processEvents();
            shownAndTyping("shrunk");
            typeKeys(QStringLiteral("E5"));
            f_.window()->resize(700, 560);
            QCoreApplication::processEvents();
            shownAndTyping("grown again");
        }
        typeKeys(QStringLiteral("F6"));
        f_.leave();
        QCOMPARE(w().annoData(13), QStringLiteral("D4E5F6"));
    }

    // A notch scrolls by whole annotations: the top of the list is always a main row, and
    // the notches up come back to where the notches down started.
    void aWheelNotchScrollsByWholeAnnotations() {
        for (int i = 0; i < 40; ++i)
            w().annoAdd(QStringLiteral("11:%1:00").arg(i, 2, 10, QLatin1Char('0')),
                        QStringLiteral("A%1").arg(i));
        QWidget* vp = f_.viewport();
        const QPoint at = vp->rect().center();
        auto notch = [&](int delta) {
            QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(vp, &wheel);
            return p().grid().topRow();
        };
        p().grid().setTopRow(0);
        QCOMPARE(notch(-120), 2);
        QCOMPARE(notch(-240), 6);
        p().grid().setTopRow(7); // a notes row at the top, as a drag of the scroll bar leaves it
        QCOMPARE(notch(-120), 8);
        QCOMPARE(notch(120), 6);
        QCOMPARE(notch(360), 0);
        QCOMPARE(notch(120), 0);
    }

    // Backspace removes the character before the caret whole: an emoji (two UTF-16 units),
    // a line break (CR LF), an accented letter.
    void backspaceRemovesAWholeCharacter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("backspaces");
        QTest::addColumn<QString>("left");
        QTest::newRow("emoji") << QStringLiteral("ab\U0001F600") << 1 << QStringLiteral("ab");
        QTest::newRow("two emoji")
            << QStringLiteral("a\U0001F600\U0001F44D") << 2 << QStringLiteral("a");
        QTest::newRow("line break") << QStringLiteral("a\nb") << 2 << QStringLiteral("a");
        QTest::newRow("accent") << QStringLiteral("t\u00e9") << 1 << QStringLiteral("t");
    }
    void backspaceRemovesAWholeCharacter() {
        QFETCH(QString, typed);
        QFETCH(int, backspaces);
        QFETCH(QString, left);
        f_.openNotes(1);
        QPlainTextEdit* ed = p().editorWidget();
        // Each character as a keyboard (or an input method) sends it: its key with its text.
        for (int i = 0; i < typed.size(); ++i) {
            const int n = typed.at(i).isHighSurrogate() ? 2 : 1;
            const QString c = typed.mid(i, n);
            i += n - 1;
            if (c == QStringLiteral("\n")) {
                QTest::keyClick(ed, Qt::Key_Return);
                continue;
            }
            QTest::sendKeyEvent(QTest::Press, ed, Qt::Key_unknown, c, Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, ed, Qt::Key_unknown, c, Qt::NoModifier);
        }
        for (int i = 0; i < backspaces; ++i)
            QTest::keyClick(ed, Qt::Key_Backspace);
        QCOMPARE(ed->toPlainText(), left);
        f_.leave();
        QCOMPARE(w().annoData(0), left);
    }

    // A right click on the notes opens Qt's text menu (undo, copy, paste ...) with the control's
    // commands under it, in the states the control's own menu gives them; a command chosen there
    // runs on the selected annotation.
    void rightClickOnTheNotesAddsTheCommandsToTheTextMenu_data() {
        QTest::addColumn<bool>("noModif");
        QTest::addColumn<QString>("choose");
        QTest::addColumn<QString>("starts");
        QTest::addColumn<QString>("holds");
        QTest::addColumn<QString>("ends");
        QTest::addColumn<int>("asked"); // the annotation delete asks about; -1: none
        // The commands under their own titled section: "Supprimer" there deletes the
        // annotation, not the text.
        const QString readOnly = QStringLiteral("mnuPopupTitle mnuPopupJouer mnuPopupRenommer-d "
                                                "mnuPopupSupprimer-d s1 mnuPopupImprimer s2 "
                                                "mnuPopupDalmure");
        QTest::newRow("read-only notes")
            << true << QString() << QStringLiteral("edit-copy-d | select-all ") + readOnly
            << QString() << readOnly << -1;
        QTest::newRow("delete chosen from editable notes")
            << false << QStringLiteral("mnuPopupSupprimer") << QStringLiteral("edit-undo")
            << QStringLiteral(" edit-paste")
            << QStringLiteral("select-all mnuPopupTitle mnuPopupJouer mnuPopupRenommer "
                              "mnuPopupSupprimer s1 mnuPopupImprimer s2 mnuPopupDalmure")
            << 1;
    }
    void rightClickOnTheNotesAddsTheCommandsToTheTextMenu() {
        QFETCH(bool, noModif);
        QFETCH(QString, choose);
        QFETCH(QString, starts);
        QFETCH(QString, holds);
        QFETCH(QString, ends);
        QFETCH(int, asked);
        QPlainTextEdit* notes = p().editorWidget();
        QVERIFY(notes->isVisible());
        QTest::keyClicks(notes, QStringLiteral("abc"));
        int askedFor = -1;
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [&](qint16& index) { askedFor = index; });
        QString seen;
        answerMenus(p(), seen, choose);
        w().setNoModif(noModif);
        f_.clickCell(3, 1); // opened again, read-only under NoModif
        rightClickThroughWindow(notes->viewport(), QPoint(5, 5));
        QVERIFY2(seen.startsWith(starts) && seen.contains(holds) && seen.endsWith(ends),
                 qPrintable(seen));
        QCOMPARE(askedFor, asked);
        QCOMPARE(notes->toPlainText(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(QtEditorTest)
#include "qt_editor_test.moc"
