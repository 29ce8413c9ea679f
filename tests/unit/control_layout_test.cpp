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
    void putText(std::int32_t row, const Str& text) {
        grid().setRow(row);
        grid().setCol(1);
        grid().setText(text);
    }
    void size(std::int32_t row) {
        Access::SetRowHeight(c(), static_cast<std::int16_t>(row), false, false);
    }
};

TEST_F(ControlLayout, EmptyListRowsAreOneLineHighAndTheEditorLiesOverTheLastRow) {
    Access::ResizeGrid(c());
    EXPECT_EQ(editor().height(), kLine);
    EXPECT_EQ(grid().rowHeight(0), kLine + 45);
    EXPECT_EQ(grid().rowHeight(1), kLine + 45);
    EXPECT_EQ(editor().top(), grid().top() + grid().rowPos(1) + 30);
}

TEST_F(ControlLayout, RowLinesAreWidthLinesRoundedHalfToEvenPlusOnePlusCarriageReturns) {
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
    for (const auto& tc : cases) {
        SCOPED_TRACE(s(tc.text));
        putText(1, tc.text);
        size(1);
        EXPECT_EQ(editor().height(), tc.lines * kLine);
        EXPECT_EQ(grid().rowHeight(1), tc.lines * kLine + 45);
    }
    size(0); // a main row is sized to its description
    EXPECT_EQ(grid().rowHeight(0), kLine + 45);

    // Capped when the wanted height comes within 290 of the grid's height.
    putText(1, u"1\r2\r3"); // three lines: 600
    grid().setHeight(891);
    size(1);
    EXPECT_EQ(editor().height(), 600);
    grid().setHeight(890);
    size(1);
    EXPECT_EQ(editor().height(), 590);
    EXPECT_EQ(grid().rowHeight(1), 635);
    EXPECT_EQ(h.app.logCount(), 0u);
}

// A smaller control keeps the row of the notes being typed in view, the editor open over it
// with its text and focus: the keys typed before, between and after the resizes all land there.
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

TEST_F(ControlLayout, EnsureVisibleFailureKeepsTheScrollGuardSet) {
    c().AnnoAdd(u"10:00", u"a");
    Access::EnsureVisible(c(), 7);
    EXPECT_TRUE(Access::blScrolling(c()));
    EXPECT_EQ(logged(h.app), "errDalmure_EnsureVisible 30009 Invalid Row value\n");
}

TEST_F(ControlLayout, ResizeSurvivesRowsRemovedAndListClearedMidLoop) {
    for (int i = 0; i < 10; ++i)
        c().AnnoAdd(u"10:" + decimal(10 + i), u"x");
    int yields = 0;
    h.platform->setPendingEventsHook([&] {
        ++yields;
        if (yields == 3) {
            std::int32_t any = 0;
            c().AnnoDelete(any);
        }
        if (yields == 6)
            c().ClearAll();
    });
    h.platform->userResize(9000, 7000);
    h.platform->setPendingEventsHook({});
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_TRUE(grid().visible());
    // The loop runs to the last row there was when it started: one yield per row, and every
    // row that has gone since is an invalid row for the sizing, logged and passed over.
    EXPECT_EQ(yields, 20);
    std::string invalid; // rows 5..19, gone with the clear at the sixth yield
    for (int row = 5; row < 20; ++row)
        invalid += "errDalmure_SetRowHeight 30009 Invalid Row value\n";
    EXPECT_EQ(logged(h.app), invalid);

    // Rows added during the loop are not reached by it.
    c().AnnoAdd(u"10:00", u"x");
    yields = 0;
    h.platform->setPendingEventsHook([&] {
        if (++yields == 1)
            c().AnnoAdd(u"09:00", u"earlier");
    });
    h.platform->userResize(9000, 7100);
    h.platform->setPendingEventsHook({});
    EXPECT_EQ(yields, 2);
    EXPECT_EQ(grid().rows(), 4);
    EXPECT_TRUE(grid().visible());
    EXPECT_EQ(h.app.logCount(), 15u);

    // A resize arriving during a resize completes too.
    bool nested = false;
    h.platform->setPendingEventsHook([&] {
        if (!nested) {
            nested = true;
            h.platform->userResize(5000, 4000);
        }
    });
    h.platform->userResize(9000, 7000);
    h.platform->setPendingEventsHook({});
    EXPECT_TRUE(grid().visible());
    EXPECT_EQ(h.app.logCount(), 15u);
}

TEST_F(ControlLayout, ResizeOverMoreThan32767RowsOverflowsTheRowCounter) {
    // Exactly 32768 rows: the counter steps past 32767 after the last row is sized. More: the
    // last row does not fit the counter, the loop fails as it starts and no row is sized.
    struct Case {
        std::int32_t rows;
        int yields;
        std::int32_t sizedRow;
    } cases[] = {{32768, 32768, 32767}, {32770, 0, -1}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.rows);
        while (grid().rows() < tc.rows)
            grid().addItem(u"t\td", grid().rows());
        grid().setRowHeight(5, 1);
        grid().setRowHeight(32767, 1);
        grid().setColWidth(1, 1);
        int yields = 0;
        h.platform->setPendingEventsHook([&] { ++yields; });
        Access::ResizeGrid(c());
        h.platform->setPendingEventsHook({});
        EXPECT_EQ(yields, tc.yields);
        EXPECT_TRUE(grid().visible());
        EXPECT_EQ(logged(h.app), "errDalmure_ResizeGrid 6 Overflow\n");
        std::filesystem::remove_all(h.app.file("Log"));
        EXPECT_EQ(grid().rowHeight(5), tc.sizedRow < 0 ? 1 : kLine + 45);
        EXPECT_EQ(grid().rowHeight(32767), tc.sizedRow < 0 ? 1 : kLine + 45);
        EXPECT_EQ(grid().colWidth(1), 9540 - 200 - 1295); // sized before the loop
    }
}

} // namespace
} // namespace dalmure::test
