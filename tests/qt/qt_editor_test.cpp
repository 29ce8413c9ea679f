// The notes editor under real Qt events: a reopened note shows all the lines its row was sized
// for, the widget's own edits keep the host's line breaks, the focus coming back from another
// window is no new opening, keys after the editor closed still reach the note, and a right click
// opens the notes' text menu with the control's commands in it.
#include "qt_test_support.h"

#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
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

// The keyboard's keys go to the widget with the focus, as on a desktop.
void typeKeys(const QString& keys) {
    for (QChar c : keys) {
        QCoreApplication::processEvents();
        QTest::keyClicks(QApplication::focusWidget(), QString(c));
    }
}

enum class Closing { Wheel, Esc };

// A right click as the desktop delivers it: through the window, which makes the context menu
// event of it.
void rightClick(QWidget* target, QPoint at) {
    QWidget* top = target->window();
    QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, target->mapTo(top, at));
}

// What a menu shows: each item's object name, or its text when it has none, "-h" after a hidden
// one and "-d" after a disabled one; a separator is "|".
QString itemsOf(const QMenu* menu) {
    QStringList items;
    for (const QAction* a : menu->actions()) {
        QString name = a->isSeparator() && a->objectName().isEmpty() ? QStringLiteral("|")
                       : !a->objectName().isEmpty()                  ? a->objectName()
                                                    : a->text().section(QLatin1Char('\t'), 0, 0);
        items << name + (!a->isVisible() ? "-h" : a->isEnabled() ? "" : "-d");
    }
    return items.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(Closing)

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
        QTest::mouseClick(f_.elsewhere(), Qt::LeftButton);
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
        QCOMPARE(p().editor().selStart(), 0); // the host's text is put in from code
        QTest::keyClick(ed, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(p().editor().selStart(), 5);
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
        QTest::mouseClick(f_.elsewhere(), Qt::LeftButton);
        QCOMPARE(w().annoData(2), QStringLiteral("a\nb\nZZ"));
    }

    void focusBackFromAnotherWindowIsNoNewOpening() {
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        f_.clickCell(1, 1);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ab"));
        // The clerk switches to another window and back, then leaves the notes: what was typed
        // before the switch is still a change, and is committed.
        QWidget other;
        other.resize(200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        f_.host().window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(f_.host().window.get()));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p().editorWidget()));
        QCOMPARE(modified.count(), 0);
        QTest::mouseClick(f_.elsewhere(), Qt::LeftButton);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(w().annoData(0), QStringLiteral("ab"));
    }

    // The editor closed while the clerk types: its notes are committed, the list has the focus,
    // and the keys that follow open the same note again and are typed into it.
    void keysAfterTheEditorClosedReachTheSameNote_data() {
        QTest::addColumn<Closing>("closing");
        QTest::addColumn<int>("annotation");
        QTest::newRow("one notch of the wheel over the list") << Closing::Wheel << 0;
        QTest::newRow("Esc") << Closing::Esc << 1;
    }
    void keysAfterTheEditorClosedReachTheSameNote() {
        QFETCH(Closing, closing);
        QFETCH(int, annotation);
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        f_.clickCell(2 * annotation + 1, 1);
        typeKeys(QStringLiteral(" un"));
        if (closing == Closing::Wheel) {
            QWidget* vp = f_.viewport();
            const QPoint at = vp->rect().center();
            QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(vp, &wheel);
        } else {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        }
        QVERIFY(!p().editorWidget()->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p().gridView()));
        QCOMPARE(modified.count(), 1);
        typeKeys(QStringLiteral(" deux"));
        QTest::mouseClick(f_.elsewhere(), Qt::LeftButton);
        QCOMPARE(modified.count(), 2);
        QCOMPARE(w().annoData(annotation), QStringLiteral(" un deux"));
    }

    // A double click leaves the focus on the list: the first key opens the note and is typed
    // into it.
    void keysAfterADoubleClickReachTheNote() {
        QSignalSpy played(&w(), &DalmureWidget::dblClick);
        QTest::mouseClick(f_.viewport(), Qt::LeftButton, {}, p().cellRect(2, 1).center());
        // The click scrolled the annotation to the top: the second press finds it there.
        QTest::mouseDClick(f_.viewport(), Qt::LeftButton, {}, p().cellRect(2, 1).center());
        QCOMPARE(played.count(), 1);
        QCOMPARE(w().selected(), 1);
        typeKeys(QStringLiteral("Wxy"));
        QTest::mouseClick(f_.elsewhere(), Qt::LeftButton);
        QCOMPARE(w().annoData(1), QStringLiteral("Wxy"));
    }

    // A right click on the notes opens Qt's text menu (undo, copy, paste ...) with the control's
    // commands under it, in the states the control's own menu gives them; a command chosen there
    // runs on the selected annotation.
    void rightClickOnTheNotesAddsTheCommandsToTheTextMenu() {
        QPlainTextEdit* notes = p().editorWidget();
        QVERIFY(notes->isVisible());
        QTest::keyClicks(notes, QStringLiteral("abc"));
        QString seen;
        QAction* pick = nullptr;
        QString choose;
        p().setModalDriver([&](QWidget* modal) {
            auto* menu = qobject_cast<QMenu*>(modal);
            QVERIFY(menu != nullptr);
            seen = itemsOf(menu);
            pick = nullptr;
            for (QAction* a : menu->actions())
                if (!choose.isEmpty() && a->objectName() == choose)
                    pick = a;
            if (pick)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(pick).center());
            else
                QTest::keyClick(menu, Qt::Key_Escape);
        });
        const QString commands = QStringLiteral("mnuPopupJouer mnuPopupRenommer-d "
                                                "mnuPopupSupprimer-d s1 mnuPopupImprimer s2 "
                                                "mnuPopupDalmure");
        w().setNoModif(true);
        f_.clickCell(3, 1); // opened again, the notes are read-only
        rightClick(notes->viewport(), QPoint(5, 5));
        QCOMPARE(seen, QStringLiteral("edit-copy-d | select-all | ") + commands);

        w().setNoModif(false);
        f_.clickCell(3, 1);
        int asked = -1;
        connect(&w(), &DalmureWidget::annoDeleteRequest, this,
                [&](qint16& index) { asked = index; });
        choose = QStringLiteral("mnuPopupSupprimer");
        rightClick(notes->viewport(), QPoint(5, 5));
        QVERIFY2(seen.startsWith(QStringLiteral("edit-undo")) &&
                     seen.contains(QStringLiteral(" edit-paste")),
                 qPrintable(seen));
        QVERIFY2(seen.endsWith(QStringLiteral("mnuPopupRenommer mnuPopupSupprimer s1 "
                                              "mnuPopupImprimer s2 mnuPopupDalmure")),
                 qPrintable(seen));
        QVERIFY(pick != nullptr);
        QCOMPARE(asked, 1);
        QCOMPARE(notes->toPlainText(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(QtEditorTest)
#include "qt_editor_test.moc"
