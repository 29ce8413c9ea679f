// The control from the keyboard alone, with real key events on the offscreen platform: Tab and
// Shift+Tab through its parts and out to the host's fields, a command run by a key; where the
// host's focus leaves them. Where the keys go once a command button clicked with the mouse has
// run, or after a resize, is the clerk test's to find.
#include "qt_test_support.h"

#include <QToolButton>

using namespace dalmure;
using namespace dalmure::qt;
using namespace dalmure::qt::testing;
using platform::ButtonId;

class QtKeyboardTest : public QObject {
    Q_OBJECT

    WidgetFixture f_;
    DalmureWidget& w() { return f_.w(); }
    QtPlatform& p() { return f_.p(); }

    // What has the focus, by a name a test can read.
    QString focusName() {
        QWidget* w = QApplication::focusWidget();
        return w == nullptr              ? u"(none)"_s
               : w == p().gridView()     ? u"grid"_s
               : w == p().editorWidget() ? u"notes"_s
                                         : w->objectName();
    }
    // Presses Tab (or Shift+Tab) count times on whatever has the focus; the names of what had
    // it after each press.
    QString walk(int count, bool back) {
        QStringList seen;
        for (int i = 0; i < count && QApplication::focusWidget() != nullptr; ++i) {
            QTest::keyClick(QApplication::focusWidget(), back ? Qt::Key_Backtab : Qt::Key_Tab,
                            back ? Qt::ShiftModifier : Qt::NoModifier);
            seen << focusName();
        }
        return seen.join(u' ');
    }

  private slots:
    void init() { QVERIFY(f_.open({}, {}, {}, true)); }
    void cleanup() { f_.close(); }

    // Tab goes from the field before the control through its visible commands from left to
    // right, the list and the notes, then on to the field after it; Shift+Tab goes back the same
    // way. Commands the modes hide are passed over, and so are the notes while no annotation is
    // selected.
    void tabWalksThroughTheControlInVisualOrder_data() {
        QTest::addColumn<bool>("annotations");
        QTest::addColumn<bool>("noPlay");
        QTest::addColumn<bool>("noPV");
        QTest::addColumn<bool>("noModif");
        QTest::addColumn<QString>("order");
        QTest::newRow("every command")
            << true << false << false << false
            << QStringLiteral("CWButton3 CWButton4 CWButton2 CWButton5 CWButton1 CWButton6(0) "
                              "grid notes after");
        QTest::newRow("NoPlay and NoPV") << true << true << true << false
                                         << u"CWButton4 CWButton1 CWButton6(0) grid notes after"_s;
        QTest::newRow("NoModif")
            << true << false << false << true
            << u"CWButton3 CWButton2 CWButton5 CWButton6(0) grid notes after"_s;
        QTest::newRow("empty list: no notes")
            << false << false << false << false
            << QStringLiteral("CWButton3 CWButton4 CWButton2 CWButton5 CWButton1 CWButton6(0) "
                              "grid after");
    }
    void tabWalksThroughTheControlInVisualOrder() {
        QFETCH(bool, annotations);
        QFETCH(bool, noPlay);
        QFETCH(bool, noPV);
        QFETCH(bool, noModif);
        QFETCH(QString, order);
        if (annotations) {
            w().annoAdd(u"10:00:00"_s, u"Opening"_s);
            w().annoAdd(u"10:05:00"_s, u"Witness"_s);
        }
        w().setNoPlay(noPlay);
        w().setNoPV(noPV);
        w().setNoModif(noModif);
        f_.elsewhere()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(focusName(), u"before"_s);
        const int stops = static_cast<int>(order.count(u' ')) + 1;
        QCOMPARE(walk(stops, false), order);

        QStringList back = order.split(u' ');
        back.removeLast();
        std::reverse(back.begin(), back.end());
        back << u"before"_s;
        QCOMPARE(walk(stops, true), back.join(u' '));
    }

    // From the keyboard alone: notes typed are kept when Tab leaves them, and Space or Enter on
    // a command reached by Shift+Tab runs it (rename, through its prompt). The button shows
    // that it has the keyboard.
    void tabLeavesTheNotesAndAKeyRunsACommand_data() {
        QTest::addColumn<Qt::Key>("key");
        QTest::newRow("Space") << Qt::Key_Space;
        QTest::newRow("Enter") << Qt::Key_Return;
    }
    void tabLeavesTheNotesAndAKeyRunsACommand() {
        QFETCH(Qt::Key, key);
        w().annoAdd(u"10:00:00"_s, u"Opening"_s);
        QToolButton* rename = p().buttonWidget(ButtonId::Rename);
        const QImage unfocused = rename->grab().toImage();
        f_.elsewhere()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(walk(8, false).section(u' ', -1), u"notes"_s);
        QTest::keyClicks(p().editorWidget(), u"sworn in"_s);
        QTest::keyClick(p().editorWidget(), Qt::Key_Tab);
        QCOMPARE(focusName(), u"after"_s);
        QCOMPARE(w().annoData(0), u"sworn in"_s);

        int prompted = 0;
        p().setModalDriver([&](QWidget* modal) {
            prompted += modal->findChild<QLineEdit*>() != nullptr ? 1 : 0;
            answerPrompt(modal, u"Opening statement"_s);
        });
        QCOMPARE(walk(7, true).section(u' ', -1), u"CWButton4"_s);
        QVERIFY2(rename->grab().toImage() != unfocused, "no focus shown on the button");
        QTest::keyClick(QApplication::focusWidget(), key);
        QCOMPARE(prompted, 1);
        QCOMPARE(w().annoDesc(0), u"Opening statement"_s);
        QCOMPARE(w().annoData(0), u"sworn in"_s);
    }

    // The host giving the widget the focus while the list is empty: the list takes the keyboard
    // (where it lands among annotations, after resizes too, is the clerk test's to find).
    void theHostsFocusOnAnEmptyListGoesToTheList() {
        f_.elsewhere()->setFocus(Qt::MouseFocusReason);
        w().setFocus();
        QCOMPARE(focusName(), u"grid"_s);
    }
};

QTEST_MAIN(QtKeyboardTest)
#include "qt_keyboard_test.moc"
