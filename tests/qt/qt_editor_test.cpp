// The notes editor under real Qt events: a reopened note shows all the lines its row was sized
// for, and the focus coming back from another window is no new opening of the editor.
#include "qt_test_support.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTextBlock>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

// Exposes the editor's layout of its lines.
class LinesOf : public QPlainTextEdit {
  public:
    static QRectF lastLine(QPlainTextEdit* e) {
        auto* l = static_cast<LinesOf*>(e);
        const QTextBlock last = l->document()->lastBlock();
        return l->blockBoundingGeometry(last).translated(l->contentOffset());
    }
    static int firstShown(QPlainTextEdit* e) {
        return static_cast<LinesOf*>(e)->firstVisibleBlock().blockNumber();
    }
};

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
            QCOMPARE(LinesOf::firstShown(ed), 0);
            QVERIFY2(LinesOf::lastLine(ed).bottom() <= ed->viewport()->height() + 1.0,
                     qPrintable(QStringLiteral("%1 lines: last line ends at %2, editor %3 high")
                                    .arg(lines)
                                    .arg(LinesOf::lastLine(ed).bottom())
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
};

QTEST_MAIN(QtEditorTest)
#include "qt_editor_test.moc"
