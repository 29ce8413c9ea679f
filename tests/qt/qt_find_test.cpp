// The find bar on the real widget, driven by the keyboard as the clerk drives it: the keys go to
// whichever widget has the focus, with the event loop running between them. What screen readers
// hear of it is in qt_accessibility_test.cpp.
#include "qt_test_support.h"

#include <QShortcut>
#include <QToolButton>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;

namespace {

const QString kTemoin = u"T\u00e9moin Roy"_s;
const QString kDeposee = u"d\u00e9pos\u00e9e par le t\u00e9moin"_s;

} // namespace

class QtFindTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    DalmureWidget& w() { return f_.w(); }
    QtPlatform& p() { return f_.p(); }
    QWidget* bar() { return p().findBarWidget(); }
    QLineEdit* line() { return f_.findLine(); }
    QLabel* count() { return f_.findCount(); }
    QTableView* view() { return f_.view(); }

    // The annotations whose two rows are shown, by time; a half-hidden one fails the test.
    QStringList shown() {
        QStringList out;
        for (int k = 0; k < w().annoCount(); ++k) {
            const bool hidden = view()->isRowHidden(2 * k);
            if (hidden != view()->isRowHidden(2 * k + 1))
                return {u"annotation %1 half hidden"_s.arg(k)};
            if (!hidden)
                out << w().annoTime(k);
        }
        return out;
    }
    // The grid view's place in the frame it shares with the bar.
    QRect gridRect() { return view()->geometry(); }

    void findFromGrid(const QString& query) {
        f_.focusGrid(6);
        press(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(focused(), static_cast<QWidget*>(line()));
        typeKeys(query);
    }

  private slots:
    void init() {
        QVERIFY(f_.open());
        w().annoAdd(u"10:00:00"_s, u"Ouverture"_s);
        w().annoAdd(u"10:05:00"_s, kTemoin);
        w().annoAdd(u"10:10:00"_s, u"Pi\u00e8ce P-3"_s, kDeposee);
        w().annoAdd(u"10:15:00"_s, u"Suspension"_s);
        QCoreApplication::processEvents();
    }
    void cleanup() { f_.close(); }

    // Ctrl+F opens the bar with the keyboard in it (from the notes too: the clerk test); the
    // grid gives the bar its room at the top and keeps its bottom edge.
    void ctrlFOpensTheBarWithTheKeyboardInIt() {
        QVERIFY(!bar()->isVisible());
        const QRect before = gridRect();
        f_.focusGrid(3);
        QCOMPARE(focused(), static_cast<QWidget*>(view()));
        press(Qt::Key_F, Qt::ControlModifier);
        QVERIFY(bar()->isVisible());
        QCOMPARE(focused(), static_cast<QWidget*>(line()));
        QCOMPARE(count()->text(), u"4 sur 4"_s);
        const QRect after = gridRect();
        QVERIFY(after.top() >= bar()->geometry().bottom());
        QVERIFY(after.top() > before.top());
        QVERIFY(qAbs(after.bottom() - before.bottom()) <= 1);
        // Ctrl+F again in the bar selects what it holds, for a new search.
        typeKeys(u"roy"_s);
        press(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(line()->selectedText(), u"roy"_s);
        // The close button does what Esc does.
        QTest::mouseClick(bar()->findChild<QToolButton*>(u"FindClose"_s), Qt::LeftButton);
        QVERIFY(!bar()->isVisible());
        QCOMPARE(shown().size(), 4);
    }

    // The matches are laid out from the grid's top, and the annotation whose notes are being
    // edited stays shown whatever the filter; Esc in the bar hides it and shows every
    // annotation, the grid back where it was, the keyboard back in the notes.
    void escShowsEverythingAndTheEditedAnnotationIsNeverHidden() {
        const QRect before = gridRect();
        f_.clickCell(7, 1);
        typeKeys(u"fin"_s);
        press(Qt::Key_F, Qt::ControlModifier);
        typeKeys(u"roy"_s);
        QCOMPARE(shown(), (QStringList{u"10:05:00"_s, u"10:15:00"_s}));
        // The view lays the shown annotations out from its top, one under the other.
        QCoreApplication::processEvents();
        QVERIFY(p().cellRect(0, 0).isEmpty());
        QCOMPARE(p().cellRect(2, 0).top(), 0);
        const int gap = p().cellRect(6, 0).top() - p().cellRect(3, 0).bottom();
        QVERIFY2(gap >= 1 && gap <= 2, qPrintable(QString::number(gap))); // a grid line at most
        QCOMPARE(w().annoData(3), u"fin"_s);
        QCOMPARE(count()->text(), u"1 sur 4"_s);
        press(Qt::Key_Escape);
        QVERIFY(!bar()->isVisible());
        QCOMPARE(shown().size(), 4);
        QCOMPARE(gridRect(), before);
        // The clerk is back in the notes the bar was opened from.
        QCOMPARE(focused(), static_cast<QWidget*>(p().editorWidget()));
        QVERIFY(f_.editorOver(7, 1));
        typeKeys(u"!"_s);
        f_.leave();
        QCOMPARE(w().annoData(3), u"fin!"_s);
    }

    // The keys of finding are the control's before the host's shortcuts on the same keys (the
    // demo adds annotations on F2..F9): Ctrl+F in the notes or the list, F3 and Shift+F3 while
    // the bar is shown, Enter and Esc in the bar. Every other key still reaches the host.
    void theKeysOfFindingComeBeforeTheHostsShortcuts_data() {
        QTest::addColumn<bool>("barShown");
        QTest::addColumn<bool>("inNotes");
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("hostFired");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("barAfter");
        const QKeyCombination f3(Qt::Key_F3), f2(Qt::Key_F2);
        QTest::newRow("F3 in the bar") << true << false << f3 << 0 << 1 << true;
        QTest::newRow("Shift+F3 in the bar")
            << true << false << QKeyCombination(Qt::ShiftModifier, Qt::Key_F3) << 0 << 2 << true;
        QTest::newRow("Enter in the bar")
            << true << false << QKeyCombination(Qt::Key_Return) << 0 << 1 << true;
        QTest::newRow("Esc in the bar")
            << true << false << QKeyCombination(Qt::Key_Escape) << 0 << 3 << false;
        QTest::newRow("F3 in the notes") << true << true << f3 << 0 << 2 << true;
        QTest::newRow("Ctrl+F in the notes")
            << false << true << QKeyCombination(Qt::ControlModifier, Qt::Key_F) << 0 << 1 << true;
        QTest::newRow("F2 in the bar") << true << false << f2 << 1 << 3 << true;
        QTest::newRow("F2 in the notes") << false << true << f2 << 1 << 1 << false;
        QTest::newRow("F3 in the notes, no bar") << false << true << f3 << 1 << 1 << false;
    }
    void theKeysOfFindingComeBeforeTheHostsShortcuts() {
        QFETCH(bool, barShown);
        QFETCH(bool, inNotes);
        QFETCH(QKeyCombination, key);
        QFETCH(int, hostFired);
        QFETCH(int, selected);
        QFETCH(bool, barAfter);
        if (barShown) {
            findFromGrid(u"temoin"_s);
            if (inNotes)
                press(Qt::Key_Return);
        } else {
            f_.openNotes(3);
        }
        // The host window's shortcuts, as the demo sets them.
        int fired = 0;
        for (QKeyCombination k : {QKeyCombination(Qt::Key_F2), QKeyCombination(Qt::Key_F3),
                                  QKeyCombination(Qt::ShiftModifier, Qt::Key_F3),
                                  QKeyCombination(Qt::ControlModifier, Qt::Key_F),
                                  QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::Key_Escape)})
            connect(new QShortcut(QKeySequence(k), f_.window()), &QShortcut::activated, this,
                    [&fired] { ++fired; });
        press(key.key(), key.keyboardModifiers());
        QCOMPARE(fired, hostFired);
        QCOMPARE(w().selected(), selected);
        QCOMPARE(bar()->isVisible(), barAfter);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(w().annoData(k), k == 2 ? kDeposee : QString());
    }
};

QTEST_MAIN(QtFindTest)
#include "qt_find_test.moc"
