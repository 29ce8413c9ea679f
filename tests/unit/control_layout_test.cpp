// Layout: the minimum size, frames and grid fitted to the control, row heights from texts
// (width lines rounded half to even, carriage returns, the cap near the grid's height), the
// editor placed over its row, the scroll guard, and resizes interrupted by pending events.
#include "test_support.h"

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;

// Headless metrics at 8 points: a character is 80 twips wide, a line 200 twips high.
constexpr std::int32_t kLine = 200;

class ControlLayout : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    DalmurePrivate& c() { return h.c(); }
    platform::Grid& grid() { return h.grid(); }
    platform::TextBox& editor() { return h.editor(); }
    // Row `row` sized to `text` (when given): "editor-height row-height".
    std::string size(std::int32_t row, const Str* text = nullptr) {
        if (text) {
            grid().setRow(row);
            grid().setCol(1);
            grid().setText(*text);
        }
        Access::SetRowHeight(c(), static_cast<std::int16_t>(row), false, false);
        return std::to_string(editor().height()) + " " + std::to_string(grid().rowHeight(row));
    }
    // The yields to pending events during `act`; onYield(n) runs at the n-th.
    int yieldsDuring(const std::function<void()>& act, std::function<void(int)> onYield = {}) {
        int yields = 0;
        h.platform->setPendingEventsHook([&] {
            ++yields;
            if (onYield)
                onYield(yields);
        });
        act();
        h.platform->setPendingEventsHook({});
        return yields;
    }
};

// The empty list's rows are one line high, the editor over the last one.
TEST_F(ControlLayout, RowLinesAreWidthLinesRoundedHalfToEvenPlusOnePlusCarriageReturns) {
    Access::ResizeGrid(c());
    EXPECT_EQ(std::vector({editor().height(), grid().rowHeight(0), grid().rowHeight(1)}),
              std::vector({kLine, kLine + 45, kLine + 45}));
    EXPECT_EQ(editor().top(), grid().top() + grid().rowPos(1) + 30);
    c().AnnoAdd(u"10:00", u"a");
    editor().setWidth(800); // ten characters
    struct Case {
        Str text;
        std::int32_t lines;
    } cases[] = {
        {u"abc\r\nde\r\nf", 3}, // narrow: 0 + 1 + 2
        {Str(25, u'x'), 3},     // 2.5 widths -> 2, + 1
        {Str(35, u'x'), 5},     // 3.5 widths -> 4, + 1
        {Str(14, u'x'), 2},     // 1.4 -> 1, + 1
    };
    for (const auto& tc : cases)
        EXPECT_EQ(size(1, &tc.text),
                  std::to_string(tc.lines * kLine) + " " + std::to_string(tc.lines * kLine + 45))
            << s(tc.text);
    size(0); // a main row is sized to its description
    EXPECT_EQ(grid().rowHeight(0), kLine + 45);
    // Capped when the wanted height comes within 290 of the grid's height.
    const Str threeLines = u"1\r2\r3";
    grid().setHeight(891);
    EXPECT_EQ(size(1, &threeLines), "600 645");
    grid().setHeight(890);
    EXPECT_EQ(size(1), "590 635");
    EXPECT_EQ(h.app.logCount(), 0u);
    // A scroll to a row beyond the list fails and leaves the scroll guard set.
    Access::EnsureVisible(c(), 7);
    EXPECT_TRUE(Access::blScrolling(c()));
    EXPECT_EQ(logged(h.app), "errDalmure_EnsureVisible 30009 Invalid Row value\n");
}

// A smaller control keeps the notes being typed in view, the keys typed between resizes there.
TEST_F(ControlLayout, ResizesKeepTheNotesBeingTypedInView) {
    for (int i = 0; i < 30; ++i)
        c().AnnoAdd(u"10:" + decimal(10 + i), u"x");
    ASSERT_TRUE(h.platform->userClick(59, 1));
    ASSERT_EQ(h.platform->userType(u"D4"), 2);
    for (auto [height, typed] : {std::pair{3000, u"E5"}, {9000, u"F6"}}) {
        SCOPED_TRACE(height);
        h.platform->userResize(9000, height);
        ASSERT_TRUE(editor().visible());
        EXPECT_TRUE(editor().hasFocus());
        const std::int32_t pos = grid().rowPos(59);
        EXPECT_GE(pos, 0);
        EXPECT_LE(pos + grid().rowHeight(59), grid().height());
        EXPECT_GE(editor().top(), grid().top() + pos);
        EXPECT_LE(editor().top() + editor().height(), grid().top() + pos + grid().rowHeight(59));
        EXPECT_EQ(h.platform->userType(typed), 2);
    }
    h.platform->userBlur();
    EXPECT_EQ(s(c().AnnoData(29)), "D4E5F6");
}

TEST_F(ControlLayout, ResizeSurvivesRowsRemovedAndListClearedMidLoop) {
    for (int i = 0; i < 10; ++i)
        c().AnnoAdd(u"10:" + decimal(10 + i), u"x");
    // One yield per row there was at the start; rows gone since are logged and passed over.
    EXPECT_EQ(yieldsDuring([&] { h.platform->userResize(9000, 7000); },
                           [&](int n) {
                               std::int32_t any = 0;
                               if (n == 3)
                                   c().AnnoDelete(any);
                               if (n == 6)
                                   c().ClearAll();
                           }),
              20);
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_TRUE(grid().visible());
    std::string invalid; // rows 5..19, gone with the clear at the sixth yield
    for (int row = 5; row < 20; ++row)
        invalid += "errDalmure_SetRowHeight 30009 Invalid Row value\n";
    EXPECT_EQ(logged(h.app), invalid);
    // Rows added during the loop are not reached by it.
    c().AnnoAdd(u"10:00", u"x");
    EXPECT_EQ(yieldsDuring([&] { h.platform->userResize(9000, 7100); },
                           [&](int n) {
                               if (n == 1)
                                   c().AnnoAdd(u"09:00", u"earlier");
                           }),
              2);
    EXPECT_EQ(grid().rows(), 4);
    EXPECT_TRUE(grid().visible());
    // A resize arriving during a resize completes too.
    yieldsDuring([&] { h.platform->userResize(9000, 7000); },
                 [&](int n) {
                     if (n == 1)
                         h.platform->userResize(5000, 4000);
                 });
    EXPECT_TRUE(grid().visible());
    EXPECT_EQ(h.app.logCount(), 15u);
}

// 32768 rows: the counter overflows after the last row is sized; more: before any row is.
TEST_F(ControlLayout, ResizeOverMoreThan32767RowsOverflowsTheRowCounter) {
    for (auto [rows, yields, sized] : {std::tuple{32768, 32768, true}, {32770, 0, false}}) {
        SCOPED_TRACE(rows);
        while (grid().rows() < rows)
            grid().addItem(u"t\td", grid().rows());
        grid().setRowHeight(5, 1);
        grid().setRowHeight(32767, 1);
        grid().setColWidth(1, 1);
        EXPECT_EQ(yieldsDuring([&] { Access::ResizeGrid(c()); }), yields);
        EXPECT_TRUE(grid().visible());
        EXPECT_EQ(logged(h.app), "errDalmure_ResizeGrid 6 Overflow\n");
        std::filesystem::remove_all(h.app.file("Log"));
        const std::int32_t height = sized ? kLine + 45 : 1;
        EXPECT_EQ(std::pair(grid().rowHeight(5), grid().rowHeight(32767)),
                  std::pair(height, height));
        EXPECT_EQ(grid().colWidth(1), 9540 - 200 - 1295); // sized before the loop
    }
}

} // namespace
} // namespace dalmure::test
