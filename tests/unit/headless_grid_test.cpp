// The in-memory annotation grid: the rules the control's grid operations rely on, and a long
// random run checked against a plain vector.
#include "control/design.h"
#include "platform/headless/headless_platform.h"
#include "support/errors.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace dalmure::headless {
namespace {

std::int32_t errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const ControlError& e) {
        return e.number();
    }
    return 0;
}

class HeadlessGridTest : public ::testing::Test {
  protected:
    HeadlessPlatform platform;
    platform::Grid& grid = platform.grid();

    // Rows "r0" .. "r<n-1>" (column 0) with "d<i>" in column 1, after the two design rows are
    // removed.
    void fill(int n) {
        grid.removeItem(0);
        grid.removeItem(0);
        for (int i = 0; i < n; ++i) {
            grid.addItem(u"r" + decimal(i) + u"\td" + decimal(i), grid.rows());
        }
    }
};

TEST_F(HeadlessGridTest, StartsAsTheEmptyListWithDesignMetrics) {
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(grid.cols(), 2);
    EXPECT_EQ(grid.row(), 0);
    EXPECT_EQ(grid.col(), 0);
    EXPECT_EQ(grid.topRow(), 0);
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 2; ++c) {
            EXPECT_EQ(grid.textMatrix(r, c), u"");
            EXPECT_FALSE(grid.cellFontBoldAt(r, c));
            EXPECT_EQ(grid.cellBackColorAt(r, c), design::kGridBackColor);
        }
        EXPECT_EQ(grid.rowHeight(r), design::kGridDefaultRowHeight);
    }
    EXPECT_EQ(grid.colWidth(1), design::kGridDefaultColWidth);
    EXPECT_EQ(grid.backColorFixed(), design::kGridBackColorFixed);
    EXPECT_EQ(grid.colPos(1), design::kGridDefaultColWidth);
}

TEST_F(HeadlessGridTest, InvalidRowsAndColumnsRaiseAndChangeNothing) {
    fill(3);
    grid.setRow(1);
    grid.setCol(1);
    EXPECT_EQ(errorNumber([&] { grid.setRow(3); }), errors::kInvalidRow);
    EXPECT_EQ(errorNumber([&] { grid.setRow(-1); }), errors::kInvalidRow);
    EXPECT_EQ(errorNumber([&] { grid.setCol(2); }), errors::kInvalidCol);
    EXPECT_EQ(errorNumber([&] { (void)grid.textMatrix(3, 0); }), errors::kInvalidRow);
    EXPECT_EQ(errorNumber([&] { (void)grid.textMatrix(0, -1); }), errors::kInvalidCol);
    EXPECT_EQ(errorNumber([&] { grid.removeItem(3); }), errors::kInvalidRow);
    EXPECT_EQ(errorNumber([&] { grid.addItem(u"x", 4); }), errors::kInvalidRow);
    EXPECT_EQ(errorNumber([&] { (void)grid.rowPos(5); }), errors::kInvalidRow);
    EXPECT_EQ(errorNumber([&] { grid.setRowHeight(-1, 100); }), errors::kInvalidRow);
    EXPECT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.row(), 1);
    EXPECT_EQ(grid.col(), 1);
    EXPECT_EQ(grid.text(), u"d1");
}

TEST_F(HeadlessGridTest, AddItemSplitsAtTabAndDropsCellsBeyondTheLast) {
    grid.addItem(u"10:00:00\tHearing opens\textra", 0);
    grid.addItem(u"only", 0);
    grid.addItem(u"\tsecond", 2);
    EXPECT_EQ(grid.rows(), 5);
    EXPECT_EQ(grid.textMatrix(0, 0), u"only");
    EXPECT_EQ(grid.textMatrix(0, 1), u"");
    EXPECT_EQ(grid.textMatrix(1, 0), u"10:00:00");
    EXPECT_EQ(grid.textMatrix(1, 1), u"Hearing opens");
    EXPECT_EQ(grid.textMatrix(2, 0), u"");
    EXPECT_EQ(grid.textMatrix(2, 1), u"second");
    EXPECT_LT(grid.compareText(1, 0, u"10:00:01"), 0);
    EXPECT_EQ(grid.compareText(1, 0, u"10:00:00"), 0);
    EXPECT_GT(grid.compareText(1, 1, u"Hearing"), 0);
    // Ordinal: capitals sort before small letters.
    EXPECT_LT(grid.compareText(1, 1, u"hearing opens"), 0);
}

TEST_F(HeadlessGridTest, CurrentRowKeepsItsNumberLimitedToTheLastRow) {
    fill(4);
    grid.setRow(2);
    grid.addItem(u"new", 0);
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.text(), u"r1"); // same number, now another row's cell
    grid.setRow(4);
    grid.removeItem(4);
    EXPECT_EQ(grid.row(), 3);
    grid.removeItem(0);
    EXPECT_EQ(grid.row(), 2);
    EXPECT_EQ(grid.rows(), 3);
}

TEST_F(HeadlessGridTest, TopRowIsCheckedAndRowPosIsRelativeToIt) {
    fill(6);
    grid.setRowHeight(0, 300);
    grid.setRowHeight(1, 500);
    EXPECT_EQ(grid.rowPos(2), 800);
    grid.setTopRow(2);
    EXPECT_EQ(grid.topRow(), 2);
    EXPECT_EQ(grid.rowPos(2), 0);
    EXPECT_EQ(grid.rowPos(0), -800);
    EXPECT_EQ(grid.rowPos(1), -500);
    EXPECT_EQ(grid.rowPos(4), 2 * design::kGridDefaultRowHeight);
    EXPECT_EQ(errorNumber([&] { grid.setTopRow(6); }), errors::kInvalidRow);
    EXPECT_EQ(grid.topRow(), 2);
    grid.setTopRow(5);
    EXPECT_EQ(grid.topRow(), 5); // reads back the row put, even near the end
    grid.removeItem(5);
    EXPECT_EQ(grid.topRow(), 4);
    grid.setRowHeight(3, -1); // back to the default height
    EXPECT_EQ(grid.rowHeight(3), design::kGridDefaultRowHeight);
}

TEST_F(HeadlessGridTest, ClearEmptiesCellsAndResetsBoldAndColourButKeepsRows) {
    fill(3);
    grid.setRow(1);
    grid.setCol(0);
    grid.setCellFontBold(true);
    grid.setCellBackColor(0x123456);
    grid.setRowHeight(2, 777);
    grid.clear();
    EXPECT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.rowHeight(2), 777);
    EXPECT_EQ(grid.textMatrix(1, 0), u"");
    EXPECT_FALSE(grid.cellFontBoldAt(1, 0));
    EXPECT_EQ(grid.cellBackColorAt(1, 0), grid.backColor());
    EXPECT_EQ(grid.row(), 1);
}

TEST_F(HeadlessGridTest, FillGivesEveryCellTheColourUntilACellIsSetAgain) {
    fill(5);
    grid.setRow(1);
    grid.setCol(1);
    grid.setCellBackColor(0x00FF00);
    grid.fillCellBackColor(0x0000FF);
    for (int r = 0; r < 5; ++r) {
        EXPECT_EQ(grid.cellBackColorAt(r, 0), 0x0000FF);
        EXPECT_EQ(grid.cellBackColorAt(r, 1), 0x0000FF);
    }
    EXPECT_EQ(grid.row(), 1); // the fill does not move the current cell
    grid.setRow(3);
    grid.setCol(0);
    grid.setCellBackColor(0xABCDEF);
    EXPECT_EQ(grid.cellBackColor(), 0xABCDEF);
    EXPECT_EQ(grid.cellBackColorAt(3, 1), 0x0000FF);
    // A row added later has the grid's own colour, and follows BackColor.
    grid.addItem(u"late", 0);
    grid.setBackColor(0x101010);
    EXPECT_EQ(grid.cellBackColorAt(0, 0), 0x101010);
    EXPECT_EQ(grid.cellBackColorAt(4, 0), 0xABCDEF);
    // A second fill overrides the per-cell colour set after the first.
    grid.fillCellBackColor(0x202020);
    EXPECT_EQ(grid.cellBackColorAt(4, 0), 0x202020);
    EXPECT_EQ(grid.cellBackColorAt(0, 0), 0x202020);
}

TEST_F(HeadlessGridTest, BoldIsPerCell) {
    grid.setRow(1);
    grid.setCol(1);
    grid.setCellFontBold(true);
    EXPECT_TRUE(grid.cellFontBold());
    EXPECT_FALSE(grid.cellFontBoldAt(1, 0));
    grid.setCellFontBold(false);
    EXPECT_FALSE(grid.cellFontBoldAt(1, 1));
}

// A long random run of inserts, removals, height changes, edits and fills, compared with a plain
// vector after every step that could go wrong (including chunk splits and merges).
TEST_F(HeadlessGridTest, RandomEditsMatchASimpleModel) {
    struct ModelRow {
        Str c0, c1;
        std::int32_t height;
        std::int32_t color0;
        bool ownColor0;
        bool bold1;
    };
    std::vector<ModelRow> model{{u"", u"", design::kGridDefaultRowHeight, 0, false, false},
                                {u"", u"", design::kGridDefaultRowHeight, 0, false, false}};
    std::optional<std::int32_t> filled;
    auto colorOf = [&](const ModelRow& r) {
        if (r.ownColor0) {
            return r.color0;
        }
        return filled ? *filled : grid.backColor();
    };
    std::mt19937 rng(12345);
    int counter = 0;
    auto check = [&](int step) {
        ASSERT_EQ(grid.rows(), static_cast<std::int32_t>(model.size())) << "step " << step;
        if (model.empty()) {
            return;
        }
        const std::int32_t probe = static_cast<std::int32_t>(rng() % model.size());
        ASSERT_EQ(grid.textMatrix(probe, 0), model[probe].c0) << "step " << step;
        ASSERT_EQ(grid.textMatrix(probe, 1), model[probe].c1) << "step " << step;
        ASSERT_EQ(grid.rowHeight(probe), model[probe].height) << "step " << step;
        ASSERT_EQ(grid.cellBackColorAt(probe, 0), colorOf(model[probe])) << "step " << step;
        ASSERT_EQ(grid.cellFontBoldAt(probe, 1), model[probe].bold1) << "step " << step;
        std::int64_t pos = 0, top = 0;
        for (std::int32_t i = 0; i < probe; ++i) {
            pos += model[i].height;
        }
        for (std::int32_t i = 0; i < grid.topRow(); ++i) {
            top += model[i].height;
        }
        ASSERT_EQ(grid.rowPos(probe), pos - top) << "step " << step;
    };
    for (int step = 0; step < 8000; ++step) {
        // Phases of growth and of shrinking, so that chunks split and merge.
        const unsigned insertShare = (step / 1500) % 2 == 0 ? 60 : 20;
        const unsigned op = rng() % 100;
        const auto n = static_cast<std::int32_t>(model.size());
        if (op < insertShare || n < 4) {
            const std::int32_t at = static_cast<std::int32_t>(rng() % (n + 1));
            const Str a = decimal(counter++);
            grid.addItem(a + u"\tx" + a, at);
            model.insert(model.begin() + at,
                         ModelRow{a, u"x" + a, design::kGridDefaultRowHeight, 0, false, false});
            // The new row has the grid's colour; the older rows keep the fill's.
            if (filled) {
                for (auto& r : model) {
                    if (&r != &model[at] && !r.ownColor0) {
                        r.ownColor0 = true;
                        r.color0 = *filled;
                    }
                }
                filled.reset();
            }
        } else if (op < 80) {
            const std::int32_t at = static_cast<std::int32_t>(rng() % n);
            grid.removeItem(at);
            model.erase(model.begin() + at);
        } else if (op < 88) {
            const std::int32_t at = static_cast<std::int32_t>(rng() % n);
            const auto h = static_cast<std::int32_t>(rng() % 2000);
            grid.setRowHeight(at, h);
            model[at].height = h;
        } else if (op < 94) {
            const std::int32_t at = static_cast<std::int32_t>(rng() % n);
            grid.setRow(at);
            grid.setCol(0);
            const auto c = static_cast<std::int32_t>(rng() % 0xFFFFFF);
            grid.setCellBackColor(c);
            model[at].ownColor0 = true;
            model[at].color0 = c;
            grid.setCol(1);
            grid.setCellFontBold(!model[at].bold1);
            model[at].bold1 = !model[at].bold1;
            grid.setText(u"edit");
            model[at].c1 = u"edit";
        } else if (op < 97) {
            const auto c = static_cast<std::int32_t>(rng() % 0xFFFFFF);
            grid.fillCellBackColor(c);
            for (auto& r : model) {
                r.ownColor0 = false;
            }
            filled = c;
        } else {
            grid.setTopRow(static_cast<std::int32_t>(rng() % n));
        }
        check(step);
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST_F(HeadlessGridTest, AHundredThousandRowsStayCheapToEditAnywhere) {
    grid.removeItem(0);
    grid.removeItem(0);
    constexpr std::int32_t kRows = 100000;
    for (std::int32_t i = 0; i < kRows; ++i) {
        // Alternate between the front, the middle and the end.
        const std::int32_t at = i % 3 == 0 ? 0 : (i % 3 == 1 ? grid.rows() / 2 : grid.rows());
        grid.addItem(u"12:00:00\tA description of about sixty characters in one row.", at);
    }
    ASSERT_EQ(grid.rows(), kRows);
    grid.setTopRow(kRows / 2);
    EXPECT_EQ(grid.rowPos(kRows - 1),
              static_cast<std::int32_t>(kRows / 2 - 1) * design::kGridDefaultRowHeight);
    for (std::int32_t i = 0; i < 20000; ++i) {
        grid.removeItem((i * 7919) % grid.rows());
    }
    EXPECT_EQ(grid.rows(), kRows - 20000);
    grid.fillCellBackColor(0x1234);
    EXPECT_EQ(grid.cellBackColorAt(grid.rows() - 1, 1), 0x1234);
}

} // namespace
} // namespace dalmure::headless
