// The annotation grid on each platform: checks and errors, rows through additions, removals and
// Clear, colours, positions and sizes read back, and what the user's clicks and scrolls report.
#include "conformance.h"

#include "platform/design.h"
#include "support/errors.h"

namespace dalmure::conformance {
namespace {

template <class Kind> class GridOnPlatform : public LoggedPlatformTest<Kind> {
  protected:
    platform::Grid& g() { return this->grid(); }

    // Rows "r0\td0" .. in place of the two empty rows the grid starts with.
    void fill(int n) {
        g().removeItems(0, g().rows());
        for (int i = 0; i < n; ++i)
            g().addItem(test::u("r" + std::to_string(i) + "\td" + std::to_string(i)), g().rows());
    }
    // Every cell, "a|b / c|d", through cell(row, col) as text.
    std::string cells(const std::function<std::string(std::int32_t, std::int32_t)>& cell) {
        std::string out;
        for (std::int32_t r = 0; r < g().rows(); ++r)
            out += (r ? " / " : "") + cell(r, 0) + "|" + cell(r, 1);
        return out;
    }
    std::string texts() {
        return cells([this](auto r, auto c) { return test::s(g().textMatrix(r, c)); });
    }
    std::string colours() {
        return cells([this](auto r, auto c) {
            std::ostringstream out;
            out << std::hex << g().cellBackColorAt(r, c);
            return out.str();
        });
    }
    // The grid's own notifications from now on.
    std::vector<std::string>& shown(int rows) {
        fill(rows);
        this->rec->gridOnly = true;
        this->rec->log.clear();
        return this->rec->log;
    }
    std::int64_t heightFrom(std::int32_t from) {
        std::int64_t h = 0;
        for (std::int32_t r = from; r < g().rows(); ++r)
            h += g().rowHeight(r);
        return h;
    }
    // Qt shows its last full page from the top row (one row more would not fit); headless, the row.
    void expectTopRow(std::int32_t put) {
        const std::int32_t top = g().topRow(), height = g().height();
        EXPECT_TRUE(this->isQt() ? top < put && heightFrom(top) <= height &&
                                       heightFrom(top - 1) > height - 120
                                 : top == put)
            << "top row " << top << " for " << put;
    }
};
TYPED_TEST_SUITE(GridOnPlatform, Platforms, PlatformNames);

TYPED_TEST(GridOnPlatform, EveryCheckRaisesItsErrorAndChangesNothing) {
    auto& g = this->g();
    this->fill(3);
    g.setRow(1);
    g.setCol(1);
    g.setRowHeight(2, 500);
    g.setColWidth(0, 1000);
    g.setColAlignment(0, 4);
    g.setWidth(4000);
    g.setHeight(3000);
    const auto state = [&] {
        return line(g.rows(), g.row(), g.col(), test::s(g.text()), g.rowHeight(2), g.colWidth(0),
                    g.colAlignment(0), g.width(), g.height());
    };
    EXPECT_EQ(state(), "3 1 1 d1 500 1000 4 4000 3000");
    // Each call is made with every value of its row; a value is a row, a column or a size.
    const std::int32_t row = errors::kInvalidRow, col = errors::kInvalidCol, value = 380;
    const struct {
        std::int32_t error;
        std::vector<int> bad;
        std::function<void(int)> call;
    } cases[] = {
        {row, {3, -1}, [&](int v) { g.setRow(v); }},
        {col, {2, -1}, [&](int v) { g.setCol(v); }},
        {row, {3}, [&](int v) { (void)g.textMatrix(v, 0); }},
        {col, {2}, [&](int v) { (void)g.textMatrix(0, v); }},
        {row, {-1}, [&](int v) { (void)g.compareText(v, 0, u"x"); }},
        {row, {4, -1}, [&](int v) { g.addItem(u"x", v); }},
        {row, {3, -1}, [&](int v) { g.removeItem(v); }},
        {row, {2}, [&](int v) { g.removeItems(v, 2); }},
        {row, {3, -1}, [&](int v) { g.setTopRow(v); }},
        {row, {3}, [&](int v) { (void)g.rowHeight(v); }},
        {row, {-1}, [&](int v) { g.setRowHeight(v, 100); }},
        {row, {3}, [&](int v) { (void)g.rowPos(v); }},
        {col, {2}, [&](int v) { (void)g.colWidth(v); }},
        {col, {-1}, [&](int v) { g.setColWidth(v, 100); }},
        {col, {2}, [&](int v) { (void)g.colAlignment(v); }},
        {col, {2}, [&](int v) { (void)g.colPos(v); }},
        {row, {3}, [&](int v) { (void)g.cellBackColorAt(v, 0); }},
        {col, {2}, [&](int v) { (void)g.cellFontBoldAt(0, v); }},
        {value, {-2}, [&](int v) { g.setRowHeight(2, v); }},
        {value, {-2}, [&](int v) { g.setColWidth(0, v); }},
        {value, {10, -1}, [&](int v) { g.setColAlignment(0, v); }},
        {value, {-1}, [&](int v) { g.setWidth(v); }},
        {value, {-1}, [&](int v) { g.setHeight(v); }},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        for (int bad : cases[i].bad)
            EXPECT_EQ(errorNumber([&] { cases[i].call(bad); }), cases[i].error) << i << " " << bad;
    EXPECT_EQ(state(), "3 1 1 d1 500 1000 4 4000 3000");
}

TYPED_TEST(GridOnPlatform, SizesAndPlacementReadBackAsSet) {
    auto& g = this->g();
    this->fill(3);
    g.setRowHeight(1, 777);
    g.setColWidth(1, 3333);
    g.setColAlignment(1, 9);
    g.setColWidth(0, 1111);
    g.setLeft(123);
    g.setTop(-45);
    g.setWidth(0);
    g.setHeight(4567);
    EXPECT_EQ(line(g.rowHeight(1), g.colWidth(1), g.colAlignment(1), g.colPos(0), g.colPos(1),
                   g.left(), g.top(), g.width(), g.height()),
              "777 3333 9 0 1111 123 -45 0 4567");
    g.setRowHeight(1, -1); // -1: back to the default
    g.setColWidth(1, -1);
    g.setRowHeight(2, 0);
    EXPECT_EQ(line(g.rowHeight(1), g.colWidth(1), g.rowHeight(2)),
              line(design::kGridDefaultRowHeight, design::kGridDefaultColWidth, 0));
    // The font size reads back as set, whatever the platform draws with.
    for (double points : {12.5, 0.0, -3.0, 8.0}) {
        g.setFontSize(points);
        EXPECT_EQ(g.fontSize(), points);
    }
}

TYPED_TEST(GridOnPlatform, AddItemSplitsAtTabAndComparesOrdinally) {
    auto& g = this->g();
    g.addItem(u"10:00:00\tHearing opens\textra", 0); // cells beyond the last column are dropped
    g.addItem(u"\tsecond", 2);
    g.addItem(u"only", g.rows());
    EXPECT_EQ(this->texts(), "10:00:00|Hearing opens / | / |second / | / only|");
    EXPECT_EQ(g.rowHeight(4), design::kGridDefaultRowHeight);
    EXPECT_FALSE(g.cellFontBoldAt(0, 1));
    const auto sign = [&](std::int32_t col, const Str& text) {
        const int n = g.compareText(0, col, text);
        return (n > 0) - (n < 0);
    };
    // Capitals sort first.
    EXPECT_EQ(line(sign(0, u"10:00:01"), sign(0, u"10:00:00"), sign(0, u"10:00"),
                   sign(1, u"hearing opens")),
              "-1 0 1 -1");
    g.setCol(1);
    g.setText(u"changed");
    Str into = u"old storage";
    g.textInto(into);
    EXPECT_EQ(into, u"changed");
    EXPECT_EQ(this->texts(), "10:00:00|changed / | / |second / | / only|");
}

TYPED_TEST(GridOnPlatform, CurrentAndTopRowKeepTheirNumberLimitedToTheLastRow) {
    auto& g = this->g();
    this->fill(6);
    g.setRow(2);
    g.setCol(1);
    g.addItem(u"new", 0);
    EXPECT_EQ(line(g.row(), test::s(g.text())), "2 d1"); // the same number, another row's cell
    g.setRow(6);
    g.removeItem(6);
    EXPECT_EQ(g.row(), 5);
    g.removeItems(1, 4);
    EXPECT_EQ(line(g.row(), g.topRow(), this->texts()), "1 0 new| / r4|d4");
    g.removeItems(0, 2);
    EXPECT_EQ(line(g.rows(), g.row()), "0 0");
    g.removeItems(0, 0); // nothing to remove: no check
    g.addItem(u"a", 0);
    EXPECT_EQ(this->texts(), "a|");
}

TYPED_TEST(GridOnPlatform, ColoursBoldAndTheFillReachTheCellsTheyShouldAndClearResetsThem) {
    auto& g = this->g();
    this->fill(4);
    g.setRow(1);
    g.setCol(1);
    g.setCellBackColor(0x00FF00);
    g.setCellFontBold(true);
    EXPECT_EQ(line(g.cellBackColor(), g.cellFontBold(), g.cellFontBoldAt(1, 0)), "65280 1 0");
    // A cell nobody coloured follows the grid's colour.
    g.setBackColor(0x0000FF);
    EXPECT_EQ(this->colours(), "ff|ff / ff|ff00 / ff|ff / ff|ff");
    // The fill reaches every cell, the coloured one too, and leaves the current cell alone.
    g.fillCellBackColor(0xABCDEF);
    EXPECT_EQ(line(g.row(), g.col(), g.cellFontBoldAt(1, 1)), "1 1 1"); // bold is not a colour
    EXPECT_EQ(this->colours(), "abcdef|abcdef / abcdef|abcdef / abcdef|abcdef / abcdef|abcdef");
    // A cell coloured after the fill keeps its own; a new row has the grid's colour.
    g.setCellBackColor(0x111111);
    g.addItem(u"new", 0);
    EXPECT_EQ(this->colours(),
              "ff|ff / abcdef|abcdef / abcdef|111111 / abcdef|abcdef / abcdef|abcdef");
    g.setBackColorBkg(0x202020);
    EXPECT_EQ(line(g.backColorBkg(), g.backColorFixed()),
              line(0x202020, design::kGridBackColorFixed));
    // Clear empties every cell and resets bold and colours, but keeps the rows and their sizes.
    g.setRowHeight(2, 777);
    g.clear();
    EXPECT_EQ(line(g.rows(), g.row(), g.rowHeight(2), this->texts()), "5 1 777 | / | / | / | / |");
    EXPECT_EQ(this->colours(), "ff|ff / ff|ff / ff|ff / ff|ff / ff|ff");
    EXPECT_FALSE(g.cellFontBoldAt(2, 1));
}

// RowPos counts from the first row shown; the Qt grid never scrolls past its last full page.
TYPED_TEST(GridOnPlatform, TopRowAndRowPosFollowThePlatformsScrollingRule) {
    auto& g = this->g();
    this->fill(60);
    g.setHeight(2400);
    for (std::int32_t r = 0; r < 60; ++r)
        g.setRowHeight(r, r % 3 == 0 ? 480 : 240);
    g.setTopRow(10);
    EXPECT_EQ(line(g.topRow(), g.rowPos(10), g.rowPos(12), g.rowPos(8)), "10 0 480 -720");
    g.setTopRow(57);
    this->expectTopRow(57);
    const std::int32_t top = g.topRow();
    EXPECT_EQ(line(g.rowPos(top), g.rowPos(59)), line(0, this->heightFrom(top) - 240));
    // Rows removed below the top row bring it to the last row, or to the last full page.
    g.removeItems(20, 40);
    this->expectTopRow(19);
    // A list that fits shows from its first row on Qt.
    g.removeItems(3, 17);
    g.setTopRow(2);
    EXPECT_EQ(g.topRow(), this->isQt() ? 0 : 2);
}

TYPED_TEST(GridOnPlatform, OnlyUserClicksReportLeaveBeforeTheCellMovesThenTheClick) {
    auto& g = this->g();
    auto& seen = this->shown(6);
    g.setRow(5);
    g.setCol(1);
    g.setTopRow(3);
    g.addItem(u"x", 0);
    g.removeItem(0);
    g.fillCellBackColor(0x10);
    g.setRow(0);
    g.setCol(0);
    EXPECT_EQ(seen, Log{}); // moves made by code report nothing
    ASSERT_TRUE(this->user().userClick(3, 1));
    ASSERT_TRUE(this->user().userClick(3, 1)); // the current cell again: no leave
    EXPECT_EQ(seen, (Log{"leave@0,0", "click@3,1", "click@3,1"}));
    seen.clear();
    ASSERT_TRUE(this->user().userDblClick(2, 0));
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(line(seen.front(), seen[1], seen.back()), "leave@3,1 click@2,0 dblclick@2,0");
    seen.clear();
    // A cell beyond the grid is refused and reports nothing.
    auto& user = this->user();
    EXPECT_FALSE(user.userClick(6, 0) || user.userDblClick(-1, 0) || user.userClick(0, 2));
    EXPECT_EQ(line(seen.size(), g.row()), "0 2");
    // A right click on a row selects it as a click does, then reports its mouse-up.
    ASSERT_TRUE(this->user().userRightClick(4, 1, std::nullopt));
    EXPECT_EQ(seen, (Log{"leave@2,0", "click@4,1", "mouseup 2@4,1"}));
}

TYPED_TEST(GridOnPlatform, UserScrollsReportEachTimeAndTheTopRowFollowsThePlatformsRule) {
    auto& g = this->g();
    auto& seen = this->shown(80);
    ASSERT_TRUE(this->user().userScroll(5));
    EXPECT_EQ(g.topRow(), 5);
    ASSERT_TRUE(this->user().userScroll(std::nullopt)); // one row further down
    EXPECT_EQ(line(g.topRow(), g.rowPos(6)), "6 0");
    ASSERT_TRUE(this->user().userScroll(6)); // cannot move: still reported
    EXPECT_FALSE(this->user().userScroll(80) || this->user().userScroll(-1));
    EXPECT_EQ(seen, (Log{"scroll@0,0", "scroll@0,0", "scroll@0,0"}));
    // To the last row: the Qt grid stops at its last full page.
    ASSERT_TRUE(this->user().userScroll(79));
    EXPECT_EQ(seen.size(), 4u);
    this->expectTopRow(79);
    EXPECT_EQ(g.row(), 0); // scrolling does not move the current cell
}

} // namespace
} // namespace dalmure::conformance
