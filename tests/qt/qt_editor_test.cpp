// The notes editor under real Qt events: a reopened note shows all the lines its row was sized
// for, and the focus coming back from another window is no new opening of the editor.
#include "qt_test_support.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTextBlock>
#include <QWheelEvent>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

// Where the editor shows the first and the last line of its text, in its viewport.
QRect firstLine(QPlainTextEdit* e) {
    QTextCursor c(e->document());
    c.movePosition(QTextCursor::Start);
    return e->cursorRect(c);
}
QRect lastLine(QPlainTextEdit* e) {
    QTextCursor c(e->document());
    c.movePosition(QTextCursor::End);
    return e->cursorRect(c);
}

class QtEditorTest : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir dir_;
    std::unique_ptr<HostWindow> host_;

    DalmureWidget& w() { return *host_->control; }
    QtPlatform& p() { return host_->platform(); }
    void clickCell(int row, int col) {
        const QRect r = p().cellRect(row, col);
        QVERIFY2(r.isValid(), "cell not laid out");
        QTest::mouseClick(p().gridView()->viewport(), Qt::LeftButton, {}, r.center());
    }

  private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QVERIFY(makeAppFolder(dir_));
        host_ = std::make_unique<HostWindow>(dir_.path());
        w().annoAdd(QStringLiteral("10:00:00"), QStringLiteral("Opening"));
        w().annoAdd(QStringLiteral("10:05:00"), QStringLiteral("Witness"));
    }
    void cleanup() {
        host_.reset();
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
    }

    void aReopenedNoteShowsEveryLineFromTheFirst() {
        QPlainTextEdit* ed = p().editorWidget();
        int k = 2;
        for (int lines : {2, 3, 5}) {
            w().annoAdd(QStringLiteral("10:1%1:00").arg(k), QStringLiteral("Note"));
            for (int i = 0; i < lines; ++i) {
                if (i > 0)
                    QTest::keyClick(ed, Qt::Key_Return);
                QTest::keyClicks(ed, QStringLiteral("line %1").arg(i + 1));
            }
            QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
            QCOMPARE(w().annoData(k).count(QStringLiteral("\r\n")), lines - 1);
            // Opened again, caret at the end: the first line stays at the top, the last one
            // inside the editor.
            clickCell(2 * k, 1);
            QCoreApplication::processEvents();
            QVERIFY(ed->isVisible());
            QCOMPARE(ed->blockCount(), lines);
            QCOMPARE(ed->verticalScrollBar()->value(), 0);
            QVERIFY(firstLine(ed).top() >= 0);
            QVERIFY2(lastLine(ed).bottom() <= ed->viewport()->height() + 1,
                     qPrintable(QStringLiteral("%1 lines: last line ends at %2, editor %3 high")
                                    .arg(lines)
                                    .arg(lastLine(ed).bottom())
                                    .arg(ed->viewport()->height())));
            ++k;
        }
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
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(w().annoData(2), QStringLiteral("a\nb\nZZ"));
    }

    void focusBackFromAnotherWindowIsNoNewOpening() {
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        clickCell(1, 1);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("ab"));
        // The clerk switches to another window and back, then leaves the notes: what was typed
        // before the switch is still a change, and is committed.
        QWidget other;
        other.resize(200, 100);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        host_->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(host_->window.get()));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p().editorWidget()));
        QCOMPARE(modified.count(), 0);
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(modified.count(), 1);
        QCOMPARE(w().annoData(0), QStringLiteral("ab"));
    }

    // The keyboard's keys go to the widget with the focus, as on a desktop.
    static void typeKeys(const QString& keys) {
        for (QChar c : keys) {
            QCoreApplication::processEvents();
            QTest::keyClicks(QApplication::focusWidget(), QString(c));
        }
    }

    void keysAfterTheWheelEscOrADoubleClickReachTheNote() {
        QSignalSpy modified(&w(), &DalmureWidget::annoModified);
        // One notch of the wheel over the list closes the editor; its notes are committed and
        // the keys that follow re-open the same note.
        clickCell(1, 1);
        typeKeys(QStringLiteral(" AVANT"));
        QWidget* vp = p().gridView()->viewport();
        const QPoint at = vp->rect().center();
        QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &wheel);
        QVERIFY(!p().editorWidget()->isVisible());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(p().gridView()));
        QCOMPARE(modified.count(), 1);
        typeKeys(QStringLiteral(" APRES"));
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(modified.count(), 2);
        QCOMPARE(w().annoData(0), QStringLiteral(" AVANT APRES"));

        // Esc does the same.
        clickCell(3, 1);
        typeKeys(QStringLiteral(" un"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QCOMPARE(modified.count(), 3);
        typeKeys(QStringLiteral(" deux"));
        clickCell(0, 1);
        QCOMPARE(modified.count(), 4);
        QCOMPARE(w().annoData(1), QStringLiteral(" un deux"));

        // A double click leaves the focus on the list: the first key opens the note and is
        // typed into it.
        const QRect r = p().cellRect(2, 1);
        QWidget* list = p().gridView()->viewport();
        QSignalSpy played(&w(), &DalmureWidget::dblClick);
        QTest::mouseClick(list, Qt::LeftButton, {}, r.center());
        // The click scrolled the annotation to the top: the second press finds it there.
        QTest::mouseDClick(list, Qt::LeftButton, {}, p().cellRect(2, 1).center());
        QCOMPARE(played.count(), 1);
        QCOMPARE(w().selected(), 1);
        typeKeys(QStringLiteral("Wxy"));
        QTest::mouseClick(host_->elsewhere, Qt::LeftButton);
        QCOMPARE(w().annoData(1), QStringLiteral(" un deuxWxy"));
    }
};

QTEST_MAIN(QtEditorTest)
#include "qt_editor_test.moc"
