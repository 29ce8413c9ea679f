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
        w().annoAdd(u"10:00:00"_s, u"Opening"_s);
        w().annoAdd(u"10:05:00"_s, u"Witness"_s);
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
        w().annoAdd(u"10:12:00"_s, u"Note"_s);
        for (int i = 0; i < lines; ++i) {
            if (i > 0)
                QTest::keyClick(ed, Qt::Key_Return);
            QTest::keyClicks(ed, u"line %1"_s.arg(i + 1));
        }
        f_.leave();
        QCOMPARE(w().annoData(2).count(u"\r\n"_s), lines - 1);
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
                 qPrintable(u"last line ends at %1, editor %2 high"_s.arg(last.bottom())
                                .arg(ed->viewport()->height())));
    }

    void editsOfTheWidgetKeepTheHostsLineBreaks() {
        QPlainTextEdit* ed = p().editorWidget();
        w().annoAdd(u"10:10:00"_s, u"Third"_s, u"a\nb\nc"_s);
        QCOMPARE(p().editor().selStart(), 5); // the caret after the host's text
        QTest::keyClick(ed, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClick(ed, Qt::Key_Delete);
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClicks(ed, u"Z"_s);
        QTest::keyClick(ed, Qt::Key_Home, Qt::ShiftModifier);
        QTest::keyClick(ed, Qt::Key_X, Qt::ControlModifier); // cut
        QCOMPARE(p().editor().text(), Str(u"a\nb\n"));
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier); // paste
        QTest::keyClick(ed, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(p().editor().text(), Str(u"a\nb\nZZ"));
        QCOMPARE(p().editor().selStart(), 6);
        f_.leave();
        QCOMPARE(w().annoData(2), u"a\nb\nZZ"_s);
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
            w().annoAdd(u"10:%1:00"_s.arg(10 + i), u"A%1"_s.arg(i));
        const int last = 2 * 13 + 1;
        f_.focusGrid(1);
        press(Qt::Key_End);
        QCOMPARE(w().selected(), 13);
        typeKeys(u"D4"_s);
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
            typeKeys(u"E5"_s);
            shownAndTyping("after the clerk scrolled away");
        } else {
            f_.window()->resize(700, 300);
            QCoreApplication::processEvents();
            shownAndTyping("shrunk");
            typeKeys(u"E5"_s);
            f_.window()->resize(700, 560);
            QCoreApplication::processEvents();
            shownAndTyping("grown again");
        }
        typeKeys(u"F6"_s);
        f_.leave();
        QCOMPARE(w().annoData(13), u"D4E5F6"_s);
    }

    // A notch scrolls by whole annotations: the top of the list is always a main row, and
    // the notches up come back to where the notches down started.
    void aWheelNotchScrollsByWholeAnnotations() {
        for (int i = 0; i < 40; ++i)
            w().annoAdd(u"11:%1:00"_s.arg(i, 2, 10, QChar(u'0')), u"A%1"_s.arg(i));
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
        QTest::newRow("emoji") << u"ab\U0001F600"_s << 1 << u"ab"_s;
        QTest::newRow("two emoji") << u"a\U0001F600\U0001F44D"_s << 2 << u"a"_s;
        QTest::newRow("line break") << u"a\nb"_s << 2 << u"a"_s;
        QTest::newRow("accent") << u"t\u00e9"_s << 1 << u"t"_s;
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
            if (c == u"\n"_s) {
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
            << true << QString() << u"edit-copy-d | select-all "_s + readOnly << QString()
            << readOnly << -1;
        QTest::newRow("delete chosen from editable notes")
            << false << u"mnuPopupSupprimer"_s << u"edit-undo"_s << u" edit-paste"_s
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
        QTest::keyClicks(notes, u"abc"_s);
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
        QCOMPARE(notes->toPlainText(), u"abc"_s);
    }
};

QTEST_MAIN(QtEditorTest)
#include "qt_editor_test.moc"
