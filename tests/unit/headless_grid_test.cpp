// The grid model (the in-memory platform's grid) in one long random run against plain vectors:
// adds and removals in runs and in phases of growth and shrinking (chunks fill, split and hand
// rows over), heights, hidden rows, cell formats, fills, clears, scrolls, page heights and walks.
#include "platform/design.h"
#include "platform/grid_model.h"
#include "random_steps.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace dalmure::platform {
namespace {

TEST(GridModelRandomized, EditsPagesAndWalksMatchAPlainModel) {
    const unsigned seed = 12345;
    GridModel g;
    struct Row {
        Str c0, c1;
        std::int32_t height = design::kGridDefaultRowHeight;
        std::optional<std::int32_t> color0; // set on the cell itself
        bool bold1 = false, hidden = false;
        std::int32_t shown() const { return hidden ? 0 : height; }
    };
    std::vector<Row> model(2);
    std::optional<std::int32_t> filled;
    std::int32_t page = -1; // none for the first third of the run
    std::mt19937 rng(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(rng() % n); };
    auto before = [&](std::int32_t row) { // the heights above row
        std::int64_t sum = 0;
        for (std::int32_t r = 0; r < row; ++r)
            sum += model[r].shown();
        return sum;
    };
    auto limit = [&] { // the first row from which the rest fits the page, by brute force
        auto t = static_cast<std::int32_t>(model.size());
        for (std::int64_t below = 0; page >= 0 && t > 0 && below + model[t - 1].shown() <= page;)
            below += model[--t].shown();
        return page < 0 ? 0 : std::min(t, static_cast<std::int32_t>(model.size()) - 1);
    };
    int serial = 0;
    const int steps = test::randomSteps(12000);
    for (int step = 0; step < steps; ++step) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
        const bool growing = (step / 1500) % 2 == 0;
        const std::int32_t addShare = growing ? 45 : 15;
        const std::int32_t op = pick(100), n = static_cast<std::int32_t>(model.size());
        const std::int32_t runs = pick(8) == 0 ? 1 + pick(40) : 1;
        // Often a row about the top row, where the page rules bite, or the last one.
        const std::int32_t near = std::clamp(g.topRow() - 1 + pick(3), 0, n - 1);
        const std::int32_t at = pick(3) == 0 ? near : pick(3) == 0 ? n - 1 : pick(n);
        if (op < addShare || n < 4) {
            for (int k = 0; k < runs; ++k) {
                const std::int32_t where = pick(model.size() + 1);
                const Str a = decimal(serial++);
                g.addItem(a + u"\tx" + a, where);
                // The new row has the grid's colour; the older rows keep the fill's.
                for (auto& r : model)
                    if (!r.color0)
                        r.color0 = filled;
                filled.reset();
                model.insert(model.begin() + where,
                             {a, u"x" + a, design::kGridDefaultRowHeight, {}, false, false});
            }
        } else if (op < 60) {
            for (int k = 0; k < (growing ? 1 : runs) && model.size() > 2; ++k) {
                const std::int32_t from = pick(model.size()), size = std::int32_t(model.size());
                const std::int32_t count = std::min(1 + pick(std::min(size - from, 5)), size - 1);
                const std::int32_t topBefore = g.topRow();
                count == 1 ? g.removeItem(from) : g.removeItems(from, count);
                model.erase(model.begin() + from, model.begin() + from + count);
                ASSERT_LE(g.topRow(), topBefore);
            }
        } else if (op < 68) {
            g.setRowHeight(at, model[at].height = pick(1000));
        } else if (op < 72) { // a hidden row keeps its height and takes no room
            g.setRowHidden(at, model[at].hidden = !model[at].hidden);
        } else if (op < 80) {
            auto& r = model[at];
            g.setRow(at);
            g.setCol(0);
            g.setCellBackColor(*(r.color0 = pick(0xFFFFFF)));
            g.setCol(1);
            g.setCellFontBold(r.bold1 = !r.bold1);
            g.setText(r.c1 = u"edit");
        } else if (op < 83) {
            g.fillCellBackColor(*(filled = pick(0xFFFFFF)));
            for (auto& r : model)
                r.color0.reset();
        } else if (op < 84) { // the cells emptied, the rows kept with their sizes
            g.clear();
            for (auto& r : model)
                r = {u"", u"", r.height, {}, false, r.hidden};
            filled.reset();
        } else if (op < 94 || step < steps / 3) {
            g.setTopRow(at);
            ASSERT_EQ(g.topRow(), page < 0 ? at : std::min(at, limit()));
        } else {
            page = pick(6) == 0 ? 0 : 500 + pick(3000);
            g.setPageHeight(page);
        }
        const auto rows = static_cast<std::int32_t>(model.size());
        ASSERT_EQ(g.rows(), rows);
        ASSERT_EQ(g.lastFullPageTop(), limit());
        ASSERT_TRUE(page < 0 || g.topRow() <= limit()) << g.topRow();
        const std::int32_t probe = pick(rows);
        const Row& r = model[probe];
        ASSERT_EQ(std::tuple(g.textMatrix(probe, 0), g.textMatrix(probe, 1), g.rowHeight(probe),
                             g.cellBackColorAt(probe, 0), g.cellFontBoldAt(probe, 1),
                             g.rowHidden(probe)),
                  std::tuple(r.c0, r.c1, r.height,
                             r.color0.value_or(filled.value_or(g.backColor())), r.bold1, r.hidden));
        if (pick(10) != 0)
            continue;
        // A walk from a random row, answered from the place found for the row before, as the
        // resize does it: now and then a height set, then the position read, or a scroll.
        const bool resize = pick(2) == 0;
        std::int32_t w = pick(rows);
        std::int64_t above = before(w), aboveTop = before(g.topRow());
        while (w < rows) {
            ASSERT_EQ(g.textMatrix(w, 0), model[w].c0) << w;
            if (resize && pick(3) == 0) {
                g.setRowHeight(w, model[w].height = 100 + pick(900));
                aboveTop = before(g.topRow());
            }
            ASSERT_EQ(g.rowPos(w), above - aboveTop) << w;
            if (pick(50) == 0) {
                g.setTopRow(pick(rows));
                aboveTop = before(g.topRow());
            }
            const std::int32_t next = w + 1 + (pick(8) == 0 ? 1 : 0); // now and then one skipped
            for (; w < next && w < rows; ++w)
                above += model[w].shown();
        }
    }
}

} // namespace
} // namespace dalmure::platform
