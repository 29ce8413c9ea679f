// The Qt platform's components on their own, without the control: what the control relies on
// from the grid, the editor and the surface, and the grid's speed with many rows.
#include "platform/qt/qt_platform.h"
#include "support/errors.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

using namespace dalmure;
using namespace dalmure::qt;

namespace {

// Records the notifications, in order.
struct Recorder final : platform::Notifications {
    std::vector<std::string> seen;
    void gridClick() override { seen.push_back("click"); }
    void gridDblClick() override { seen.push_back("dblclick"); }
    void gridKeyPress(std::int16_t& k) override { seen.push_back("gridkey " + std::to_string(k)); }
    void gridLeaveCell() override { seen.push_back("leave"); }
    void gridScroll() override { seen.push_back("scroll"); }
    void gridMouseMove(int, int, double, double) override {}
    void gridMouseUp(int b, int, double, double) override {
        seen.push_back("mouseup " + std::to_string(b));
    }
    void editorChange() override { seen.push_back("change"); }
    void editorGotFocus() override { seen.push_back("gotfocus"); }
    void editorLostFocus() override { seen.push_back("lostfocus"); }
    void editorKeyDown(std::int16_t& k, int) override {
        seen.push_back("down " + std::to_string(k));
    }
    void editorKeyPress(std::int16_t& k) override {
        seen.push_back("press " + std::to_string(k));
        if (k == 'x')
            k = 0; // a handler discards this one
    }
    void editorKeyUp(std::int16_t& k, int) override { seen.push_back("up " + std::to_string(k)); }
    void buttonClick(platform::ButtonId) override {}
    void buttonMouseMove(platform::ButtonId) override {}
    void menuClick(platform::MenuItemId) override {}
    void surfaceMouseMove(int, int, double, double) override {}
    void surfaceEnterFocus() override {}
    void surfaceResize() override {}
    void ambientChanged(const Str&) override {}
};

template <class F> int errorNumber(F&& f) {
    try {
        f();
    } catch (const ControlError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

class QtGridTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QWidget> window_;
    std::unique_ptr<QtPlatform> p_;
    Recorder rec_;

  private slots:
    void init() {
        window_ = std::make_unique<QWidget>();
        p_ = std::make_unique<QtPlatform>(window_.get());
        p_->setNotifications(&rec_);
        p_->containerResize(9600, 7200);
        window_->resize(p_->surfaceWidget()->size());
        window_->show();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        rec_.seen.clear();
    }
    void cleanup() {
        p_.reset();
        window_.reset();
    }

    void sizesReadBackInTwipsAndDrawInPixels() {
        auto& g = p_->grid();
        g.setWidth(4321);
        g.setColWidth(1, 1777);
        g.setRowHeight(0, 333);
        QCOMPARE(g.width(), 4321);
        QCOMPARE(g.colWidth(1), 1777);
        QCOMPARE(g.rowHeight(0), 333);
        QCOMPARE(p_->gridView()->width(), p_->pxX(4321));
        QCOMPARE(p_->gridView()->rowHeight(0), p_->pxY(333));
        QCOMPARE(p_->gridView()->columnWidth(1), p_->pxX(1777));
        QCOMPARE(p_->surface().width(), 9600);
    }

    void rowsAndCells() {
        auto& g = p_->grid();
        QCOMPARE(g.rows(), 2);
        g.addItem(u"10:00:00\tOpening", 2);
        g.addItem(u"\tnotes", 3);
        QCOMPARE(g.textMatrix(2, 0), Str(u"10:00:00"));
        QCOMPARE(g.textMatrix(2, 1), Str(u"Opening"));
        QCOMPARE(g.textMatrix(3, 0), Str());
        QVERIFY(g.compareText(2, 1, u"Opening") == 0);
        QVERIFY(g.compareText(2, 1, u"P") < 0);
        g.setRow(3);
        g.setCol(1);
        g.setCellFontBold(true);
        g.setCellBackColor(0x123456);
        QCOMPARE(g.cellBackColorAt(3, 1), 0x123456);
        QCOMPARE(g.cellBackColorAt(3, 0), g.backColor());
        // Filling every cell at once, then painting one again.
        g.fillCellBackColor(0xABCDEF);
        QCOMPARE(g.cellBackColorAt(3, 1), 0xABCDEF);
        g.setCellBackColor(0x010203);
        QCOMPARE(g.cellBackColorAt(3, 1), 0x010203);
        QCOMPARE(g.cellBackColorAt(0, 0), 0xABCDEF);
        // Removing rows keeps the current row's number, limited to the last row.
        g.removeItem(3);
        QCOMPARE(g.row(), 2);
        QCOMPARE(errorNumber([&] { g.removeItem(7); }), errors::kInvalidRow);
        QCOMPARE(g.rows(), 3);
        QCOMPARE(errorNumber([&] { g.setRow(3); }), errors::kInvalidRow);
        QCOMPARE(errorNumber([&] { g.setCol(2); }), errors::kInvalidCol);
        QCOMPARE(errorNumber([&] { g.setTopRow(3); }), errors::kInvalidRow);
        g.clear();
        QCOMPARE(g.rows(), 3);
        QCOMPARE(g.textMatrix(2, 1), Str());
        QVERIFY(!g.cellFontBoldAt(3 - 1, 1));
        QCOMPARE(g.cellBackColorAt(2, 1), g.backColor());
        // Moving the current cell from code raises nothing.
        QVERIFY(rec_.seen.empty());
    }

    void rowPositionsFollowTheTopRow() {
        auto& g = p_->grid();
        for (int i = 0; i < 40; ++i)
            g.addItem(u"x\ty", g.rows());
        for (int i = 0; i < g.rows(); ++i)
            g.setRowHeight(i, 200 + 10 * (i % 3));
        QCOMPARE(g.rowPos(0), 0);
        QCOMPARE(g.rowPos(3), 200 + 210 + 220);
        g.setTopRow(30);
        QCOMPARE(g.topRow(), 30);
        QCOMPARE(g.rowPos(30), 0);
        QCOMPARE(g.rowPos(29), -(200 + 10 * (29 % 3)));
        // The last row can be the first one shown.
        g.setTopRow(g.rows() - 1);
        QCOMPARE(p_->gridView()->rowAt(1), g.rows() - 1);
        QVERIFY(rec_.seen.empty());
        g.setRowHeight(30, 1000);
        g.setTopRow(29);
        QCOMPARE(g.rowPos(31), 200 + 10 * (29 % 3) + 1000);
    }

    void userClickOrder() {
        auto& g = p_->grid();
        g.addItem(u"a\tb", 2);
        g.addItem(u"\tc", 3);
        const QRect r = p_->cellRect(3, 1);
        QTest::mouseClick(p_->gridView()->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(rec_.seen, (std::vector<std::string>{"leave", "mouseup 1", "click"}));
        QCOMPARE(g.row(), 3);
        QCOMPARE(g.col(), 1);
        rec_.seen.clear();
        // The same cell again: no cell-leave.
        QTest::mouseClick(p_->gridView()->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(rec_.seen, (std::vector<std::string>{"mouseup 1", "click"}));
        rec_.seen.clear();
        // The right button leaves the current cell alone.
        QTest::mouseClick(p_->gridView()->viewport(), Qt::RightButton, {},
                          p_->cellRect(0, 0).center());
        QCOMPARE(rec_.seen, (std::vector<std::string>{"mouseup 2"}));
        QCOMPARE(g.row(), 3);
    }

    void editorKeysFocusAndText() {
        auto& e = p_->editor();
        e.setWidth(3000);
        e.setHeight(600);
        QCOMPARE(errorNumber([&] { e.setFocus(); }), errors::kInvalidProcedureCall);
        e.setText(u"one\r\ntwo");
        QCOMPARE(rec_.seen, (std::vector<std::string>{"change"}));
        e.setText(u"one\r\ntwo"); // unchanged: no notification
        QCOMPARE(rec_.seen.size(), std::size_t(1));
        QCOMPARE(e.selStart(), 0);
        e.setSelStart(8);
        QCOMPARE(e.selStart(), 8);
        e.setSelStart(5);
        QCOMPARE(e.selStart(), 5);
        e.setVisible(true);
        rec_.seen.clear();
        e.setFocus();
        e.setFocus(); // every time, also when it has the focus
        QCOMPARE(rec_.seen, (std::vector<std::string>{"gotfocus", "gotfocus"}));
        e.setSelStart(8);
        rec_.seen.clear();
        QTest::keyClick(p_->editorWidget(), Qt::Key_A);
        QTest::keyClick(p_->editorWidget(), Qt::Key_X); // discarded by the handler
        QCOMPARE(rec_.seen, (std::vector<std::string>{"down 65", "press 97", "change", "up 65",
                                                      "down 88", "press 120", "up 88"}));
        QCOMPARE(e.text(), Str(u"one\r\ntwoa"));
        e.setReadOnly(true);
        QTest::keyClick(p_->editorWidget(), Qt::Key_B);
        QCOMPARE(e.text(), Str(u"one\r\ntwoa"));
        e.setReadOnly(false);
        // Hiding keeps the control's focus; the user's next focus change takes it.
        e.setVisible(false);
        QVERIFY(e.hasFocus());
        rec_.seen.clear();
        p_->gridView()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(rec_.seen, (std::vector<std::string>{"lostfocus"}));
        QVERIFY(!e.hasFocus());
    }

    void textMetricsFromTheRealFont() {
        auto& s = p_->surface();
        s.setFontSize(8);
        const double a = s.textHeight(u"A");
        QVERIFY(a > 100 && a < 400); // an 8-point line is a few hundred twips
        QCOMPARE(s.textHeight(u"A\r\nB\rC\nD"), 4 * a);
        QVERIFY(s.textWidth(u"WWWW\r\nW") > s.textWidth(u"WW"));
        QCOMPARE(s.textWidth(u"WWWW\r\nW"), s.textWidth(u"WWWW"));
        s.setFontSize(16);
        QVERIFY(s.textHeight(u"A") > 1.7 * a);
    }

    void manyRowsStayFast() {
        auto& g = p_->grid();
        QElapsedTimer t;
        t.start();
        g.setVisible(false);
        for (int i = 0; i < 10000; ++i)
            g.addItem(u"10:00:00\tAnnotation", g.rows());
        for (int i = 0; i < g.rows(); ++i) {
            g.setRowHeight(i, 240 + (i % 5) * 15);
            (void)g.rowPos(i);
        }
        for (int i = 0; i < 1000; ++i) {
            g.fillCellBackColor(0xFFFFFF);
            g.setRow(i * 2);
            g.setCellBackColor(0xE1FFFF);
        }
        g.setTopRow(9000);
        g.setVisible(true);
        QTest::qWait(1);
        QVERIFY2(t.elapsed() < 8000, qPrintable(QStringLiteral("%1 ms").arg(t.elapsed())));
        QCOMPARE(g.rows(), 10002);
        QCOMPARE(g.rowPos(9000), 0);
    }
};

QTEST_MAIN(QtGridTest)
#include "qt_grid_test.moc"
