// The headless grid answers walks over rows in order from the place and the height it found for
// the row before; edits between and during walks must never leave a stale answer.
#include "platform/headless/headless_components.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace dalmure::headless {
namespace {

struct ModelRow {
    Str text;
    std::int32_t height;
};

// Random adds, removals, height changes and scrolls, each followed by a walk (forwards, part of
// the way, or with heights set on the way as the resize does) checked against a plain vector.
TEST(HeadlessGridWalk, WalksInOrderAgreeWithAModelThroughEdits) {
    HeadlessGrid g;
    std::vector<ModelRow> model(2, ModelRow{u"", g.rowHeight(0)});
    const std::int32_t defaultHeight = g.rowHeight(0);
    std::mt19937 rng(2024);
    auto pick = [&](std::int32_t n) {
        return static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(n));
    };
    auto before = [&](std::int32_t row) { // the model's sum of the heights above row
        std::int64_t sum = 0;
        for (std::int32_t r = 0; r < row; ++r)
            sum += model[static_cast<std::size_t>(r)].height;
        return sum;
    };
    int serial = 0;
    for (int step = 0; step < 500; ++step) {
        const auto n = static_cast<std::int32_t>(model.size());
        switch (pick(6)) {
        case 0:
        case 1: { // adds come in runs, so that chunks fill, split and hand rows over
            for (int k = pick(40); k >= 0; --k) {
                const std::int32_t at = pick(static_cast<std::int32_t>(model.size()) + 1);
                const Str text = u"r" + fromUtf8(std::to_string(serial++));
                g.addItem(text, at);
                model.insert(model.begin() + at, ModelRow{text, defaultHeight});
            }
            break;
        }
        case 2:
            for (int k = pick(30); k >= 0 && model.size() > 2; --k) {
                const std::int32_t at = pick(static_cast<std::int32_t>(model.size()));
                g.removeItem(at);
                model.erase(model.begin() + at);
            }
            break;
        case 3: {
            const std::int32_t at = pick(n), h = 100 + pick(900);
            g.setRowHeight(at, h);
            model[static_cast<std::size_t>(at)].height = h;
            break;
        }
        default:
            g.setTopRow(pick(n));
            break;
        }
        const auto rows = static_cast<std::int32_t>(model.size());
        ASSERT_EQ(g.rows(), rows);
        // A walk from a random row, as the resize does it: height set, then the position read.
        const bool resize = pick(2) == 0;
        std::int32_t r = pick(rows);
        std::int64_t above = before(r), aboveTop = before(g.topRow());
        while (r < rows) {
            const auto& m = model[static_cast<std::size_t>(r)];
            ASSERT_EQ(g.textMatrix(r, 0), m.text) << step;
            if (resize && pick(3) == 0) {
                const std::int32_t h = 100 + pick(900);
                g.setRowHeight(r, h);
                model[static_cast<std::size_t>(r)].height = h;
                if (r < g.topRow())
                    aboveTop = before(g.topRow());
            }
            ASSERT_EQ(g.rowPos(r), above - aboveTop) << "step " << step << " row " << r;
            if (pick(50) == 0) { // a scroll in the middle of a walk
                g.setTopRow(pick(rows));
                aboveTop = before(g.topRow());
            }
            const std::int32_t next = r + 1 + (pick(8) == 0 ? 1 : 0); // now and then one skipped
            for (; r < next && r < rows; ++r)
                above += model[static_cast<std::size_t>(r)].height;
        }
    }
    EXPECT_GT(model.size(), 300u); // enough rows for several chunks
}

} // namespace
} // namespace dalmure::headless
