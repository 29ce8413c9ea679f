// The find bar driven by the keyboard, the keys going to whichever widget has the focus.
#include "qt_test_support.h"

#include <QShortcut>

namespace {

const QString kDeposee = u"d\u00e9pos\u00e9e par le t\u00e9moin"_s;

// Where the bar is opened from, the key pressed, then how often the host's shortcuts fired, the
// annotation selected and whether the bar is shown.
struct KeyCase {
    const char* name;
    bool barShown;
    bool inNotes;
    QKeyCombination key;
    int hostFired;
    int selected;
    bool barAfter;
};
const KeyCase kKeyCases[] = {
    {"F3 in the bar", true, false, Qt::Key_F3, 0, 1, true},
    {"Shift+F3 in the bar", true, false, Qt::ShiftModifier | Qt::Key_F3, 0, 2, true},
    {"Enter in the bar", true, false, Qt::Key_Return, 0, 1, true},
    {"Esc in the bar", true, false, Qt::Key_Escape, 0, 3, false},
    {"F3 in the notes", true, true, Qt::Key_F3, 0, 2, true},
    {"Ctrl+F in the notes", false, true, Qt::ControlModifier | Qt::Key_F, 0, 1, true},
    {"F2 in the bar", true, false, Qt::Key_F2, 1, 3, true},
    {"F2 in the notes", false, true, Qt::Key_F2, 1, 1, false},
    {"F3 in the notes, no bar", false, true, Qt::Key_F3, 1, 1, false},
};

} // namespace

class QtFindTest : public QObject, HearingFixture {
    Q_OBJECT

    QWidget* bar() { return p().findBarWidget(); }

    // The times of the annotations whose two rows are shown; a half-hidden one fails the test.
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

  private slots:
    void init() {
        QVERIFY(openOn({u"Ouverture"_s, u"T\u00e9moin Roy"_s, u"Pi\u00e8ce P-3\t"_s + kDeposee,
                        u"Suspension"_s}));
    }
    void cleanup() { close(); }

    // The grid gives the bar its room at the top and keeps its bottom edge.
    void theBarOpensWithTheKeyboardInItAndEscGivesItBack() {
        QVERIFY(!bar()->isVisible());
        const QRect before = view()->geometry();
        openFindBar(3);
        QVERIFY(bar()->isVisible());
        QCOMPARE(findCount()->text(), u"4 sur 4"_s);
        const QRect after = view()->geometry();
        QVERIFY(after.top() >= bar()->geometry().bottom());
        QVERIFY(after.top() > before.top());
        QVERIFY(qAbs(after.bottom() - before.bottom()) <= 1);
        // Ctrl+F again selects what the bar holds, for a new search.
        typeKeys(u"roy"_s);
        press(Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(findLine()->selectedText(), u"roy"_s);
        QTest::mouseClick(bar()->findChild<QToolButton*>(u"FindClose"_s), Qt::LeftButton);
        QVERIFY(!bar()->isVisible());
        QCOMPARE(shown().size(), 4);
        // The matches laid out from the grid's top; Esc gives the keyboard back to the notes.
        clickCell(7, 1);
        typeKeys(u"fin"_s);
        press(Qt::Key_F, Qt::ControlModifier);
        typeKeys(u"roy"_s);
        QCOMPARE(shown(), (QStringList{u"10:05:00"_s, u"10:15:00"_s}));
        QCoreApplication::processEvents();
        QVERIFY(p().cellRect(0, 0).isEmpty());
        QCOMPARE(p().cellRect(2, 0).top(), 0);
        const int gap = p().cellRect(6, 0).top() - p().cellRect(3, 0).bottom();
        QVERIFY2(gap >= 1 && gap <= 2, qPrintable(QString::number(gap))); // a grid line at most
        QCOMPARE(w().annoData(3), u"fin"_s);
        QCOMPARE(findCount()->text(), u"1 sur 4"_s);
        press(Qt::Key_Escape);
        QVERIFY(!bar()->isVisible());
        QCOMPARE(shown().size(), 4);
        QCOMPARE(view()->geometry(), before);
        QCOMPARE(focused(), static_cast<QWidget*>(p().editorWidget()));
        QVERIFY(editorOver(7, 1));
        typeKeys(u"!"_s);
        leave();
        QCOMPARE(w().annoData(3), u"fin!"_s);
    }

    // The demo adds annotations on F2..F9; every key but those of finding still reaches it.
    void theKeysOfFindingComeBeforeTheHostsShortcuts_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kKeyCases)); ++i)
            QTest::newRow(kKeyCases[i].name) << i;
    }
    void theKeysOfFindingComeBeforeTheHostsShortcuts() {
        QFETCH(int, row);
        const KeyCase& c = kKeyCases[row];
        if (c.barShown) {
            openFindBar(6);
            typeKeys(u"temoin"_s);
            if (c.inNotes)
                press(Qt::Key_Return);
        } else {
            openNotes(3);
        }
        int fired = 0;
        for (QKeyCombination k : {QKeyCombination(Qt::Key_F2), QKeyCombination(Qt::Key_F3),
                                  Qt::ShiftModifier | Qt::Key_F3, Qt::ControlModifier | Qt::Key_F,
                                  QKeyCombination(Qt::Key_Return), QKeyCombination(Qt::Key_Escape)})
            connect(new QShortcut(QKeySequence(k), window()), &QShortcut::activated, this,
                    [&fired] { ++fired; });
        press(c.key.key(), c.key.keyboardModifiers());
        QCOMPARE(fired, c.hostFired);
        QCOMPARE(w().selected(), c.selected);
        QCOMPARE(bar()->isVisible(), c.barAfter);
        for (int k = 0; k < 4; ++k)
            QCOMPARE(w().annoData(k), k == 2 ? kDeposee : QString());
    }
};

QTEST_MAIN(QtFindTest)
#include "qt_find_test.moc"
