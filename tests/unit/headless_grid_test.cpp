// The grid model (the in-memory platform's grid): the rules the control's grid operations rely
// on, and long random runs (edits, pages, walks in row order) checked against a plain vector.
#include "platform/design.h"
#include "platform/grid_model.h"
#include "platform/headless/headless_components.h"
#include "platform/headless/headless_platform.h"
#include "random_steps.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace dalmure::headless {
namespace {

// Random edits and fills against a plain vector, in phases of growth and shrinking (chunks split).
TEST(HeadlessGridTest, RandomEditsMatchASimpleModel) {
    HeadlessPlatform platform;
    platform::Grid& grid = platform.grid();
    struct ModelRow {
        Str c0, c1;
        std::int32_t height = design::kGridDefaultRowHeight;
        std::optional<std::int32_t> color0; // set on the cell itself
        bool bold1 = false;
    };
    std::vector<ModelRow> model(2);
    std::optional<std::int32_t> filled;
    std::mt19937 rng(12345);
    int counter = 0;
    for (int step = 0; step < test::randomSteps(8000); ++step) {
        SCOPED_TRACE(step);
        const unsigned insertShare = (step / 1500) % 2 == 0 ? 60 : 20;
        const unsigned op = rng() % 100;
        const auto n = static_cast<std::int32_t>(model.size());
        const auto at = static_cast<std::int32_t>(rng() % (n + 1));
        if (op < insertShare || n < 4) {
            const Str a = decimal(counter++);
            grid.addItem(a + u"\tx" + a, at);
            // The new row has the grid's colour; the older rows keep the fill's.
            for (auto& r : model)
                if (filled && !r.color0)
                    r.color0 = filled;
            filled.reset();
            model.insert(model.begin() + at,
                         {a, u"x" + a, design::kGridDefaultRowHeight, {}, false});
        } else if (op < 80) {
            grid.removeItem(at % n);
            model.erase(model.begin() + at % n);
        } else if (op < 88) {
            const auto h = static_cast<std::int32_t>(rng() % 2000);
            grid.setRowHeight(at % n, h);
            model[at % n].height = h;
        } else if (op < 94) {
            auto& r = model[at % n];
            grid.setRow(at % n);
            grid.setCol(0);
            r.color0 = static_cast<std::int32_t>(rng() % 0xFFFFFF);
            grid.setCellBackColor(*r.color0);
            grid.setCol(1);
            r.bold1 = !r.bold1;
            grid.setCellFontBold(r.bold1);
            grid.setText(r.c1 = u"edit");
        } else if (op < 97) {
            filled = static_cast<std::int32_t>(rng() % 0xFFFFFF);
            grid.fillCellBackColor(*filled);
            for (auto& r : model)
                r.color0.reset();
        } else {
            grid.setTopRow(at % n);
        }
        ASSERT_EQ(grid.rows(), static_cast<std::int32_t>(model.size()));
        const auto probe = static_cast<std::int32_t>(rng() % model.size());
        const ModelRow& r = model[probe];
        std::int64_t pos = 0; // from the top row shown
        for (std::int32_t i = 0; i < std::max(probe, grid.topRow()); ++i)
            pos += ((i < probe) - (i < grid.topRow())) * model[i].height;
        ASSERT_EQ(std::tuple(grid.textMatrix(probe, 0), grid.textMatrix(probe, 1),
                             grid.rowHeight(probe), grid.cellBackColorAt(probe, 0),
                             grid.cellFontBoldAt(probe, 1), grid.rowPos(probe)),
                  std::tuple(r.c0, r.c1, r.height,
                             r.color0.value_or(filled.value_or(grid.backColor())), r.bold1, pos));
    }
}

// With a page height (no scrolling past the last full page), the top row follows every change.
TEST(GridModelPage, LastFullPageAndTopRowFollowEveryChange) {
    platform::GridModel g;
    std::vector<std::int32_t> heights(2, design::kGridDefaultRowHeight);
    std::int32_t page = 2000;
    g.setPageHeight(page);
    std::mt19937 rng(777);
    auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(rng() % n); };
    auto limit = [&] { // the first row from which the rest fits, by brute force
        std::int64_t below = 0;
        auto t = static_cast<std::int32_t>(heights.size());
        while (t > 0 && below + heights[static_cast<std::size_t>(t) - 1] <= page)
            below += heights[static_cast<std::size_t>(--t)];
        return std::min(t, std::max(0, static_cast<std::int32_t>(heights.size()) - 1));
    };
    for (int step = 0; step < test::randomSteps(4000); ++step) {
        SCOPED_TRACE(step);
        const unsigned op = rng() % 10;
        const std::size_t n = heights.size();
        if (op < 3 || n < 3) {
            const std::int32_t at = pick(n + 1);
            g.addItem(u"x", at);
            heights.insert(heights.begin() + at, design::kGridDefaultRowHeight);
        } else if (op < 5) {
            const std::int32_t at = pick(n);
            const auto count = std::min(1 + pick(std::min<std::size_t>(n - at, 5)),
                                        static_cast<std::int32_t>(n) - 1); // one row stays
            const std::int32_t topBefore = g.topRow();
            g.removeItems(at, count);
            heights.erase(heights.begin() + at, heights.begin() + at + count);
            EXPECT_LE(g.topRow(), topBefore);
        } else if (op < 8) {
            const std::int32_t at = pick(n), h = pick(900);
            g.setRowHeight(at, h);
            heights[static_cast<std::size_t>(at)] = h;
        } else if (op < 9) {
            const std::int32_t wanted = pick(n);
            g.setTopRow(wanted);
            EXPECT_EQ(g.topRow(), std::min(wanted, limit()));
        } else {
            page = 500 + pick(3000);
            g.setPageHeight(page);
        }
        ASSERT_EQ(g.lastFullPageTop(), limit());
        ASSERT_LE(g.topRow(), limit());
        ASSERT_EQ(g.rowPos(g.topRow()), 0);
    }
}

// Walks in row order, answered from the place found for the row before, after random edits: each
// walk (part of the way, heights set on the way as the resize does) checked against a vector.
TEST(HeadlessGridWalk, WalksInOrderAgreeWithAModelThroughEdits) {
    HeadlessGrid g;
    const std::int32_t defaultHeight = g.rowHeight(0);
    std::vector<std::pair<Str, std::int32_t>> model(2, {u"", defaultHeight}); // text, height
    std::mt19937 rng(2024);
    auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(rng() % n); };
    auto before = [&](std::int32_t row) { // the model's sum of the heights above row
        std::int64_t sum = 0;
        for (std::int32_t r = 0; r < row; ++r)
            sum += model[r].second;
        return sum;
    };
    int serial = 0;
    for (int step = 0; step < test::randomSteps(500); ++step) {
        SCOPED_TRACE(step);
        const std::size_t n = model.size();
        const std::int32_t op = pick(6);
        // Adds and removals come in runs, so that chunks fill, split and hand rows over.
        for (int k = op < 2 ? pick(40) : -1; k >= 0; --k) {
            const std::int32_t at = pick(model.size() + 1);
            model.insert(model.begin() + at, {u"r" + decimal(serial++), defaultHeight});
            g.addItem(model[at].first, at);
        }
        for (int k = op == 2 ? pick(30) : -1; k >= 0 && model.size() > 2; --k) {
            const std::int32_t at = pick(model.size());
            g.removeItem(at);
            model.erase(model.begin() + at);
        }
        if (op == 3) {
            const std::int32_t at = pick(n), h = 100 + pick(900);
            g.setRowHeight(at, model[at].second = h);
        } else if (op > 3) {
            g.setTopRow(pick(n));
        }
        const auto rows = static_cast<std::int32_t>(model.size());
        ASSERT_EQ(g.rows(), rows);
        // A walk from a random row, as the resize does it: height set, then the position read.
        const bool resize = pick(2) == 0;
        std::int32_t r = pick(rows);
        std::int64_t above = before(r), aboveTop = before(g.topRow());
        while (r < rows) {
            ASSERT_EQ(g.textMatrix(r, 0), model[r].first) << r;
            if (resize && pick(3) == 0) {
                g.setRowHeight(r, model[r].second = 100 + pick(900));
                aboveTop = before(g.topRow());
            }
            ASSERT_EQ(g.rowPos(r), above - aboveTop) << r;
            if (pick(50) == 0) { // a scroll in the middle of a walk
                g.setTopRow(pick(rows));
                aboveTop = before(g.topRow());
            }
            const std::int32_t next = r + 1 + (pick(8) == 0 ? 1 : 0); // now and then one skipped
            for (; r < next && r < rows; ++r)
                above += model[r].second;
        }
    }
}

} // namespace
} // namespace dalmure::headless
