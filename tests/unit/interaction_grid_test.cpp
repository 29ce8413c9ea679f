// Selecting annotations on the grid, the double click and the move keys on an empty list. The
// user's scroll closing the notes is played by the editing scenario and the conformance tests.
#include "test_support.h"

#include <gtest/gtest.h>

namespace dalmure {
namespace {

using test::s;
using test::u;

class GridInteraction : public test::ControlTest {
  protected:
    void SetUp() override { startSized(); }
    void addThree() {
        h.add({{"10:00:01", "first"}, {"10:00:02", "second"}, {"10:00:03", "third"}});
    }
    std::int32_t back(std::int32_t row, std::int32_t col) {
        return h.grid().cellBackColorAt(row, col);
    }
    // Rows whose two cells carry the highlight colour.
    std::vector<std::int32_t> highlightedRows() {
        std::vector<std::int32_t> out;
        const std::int32_t fixed = h.grid().backColorFixed();
        for (std::int32_t r = 0; r < h.grid().rows(); ++r) {
            const bool c0 = back(r, 0) == fixed, c1 = back(r, 1) == fixed;
            EXPECT_EQ(c0, c1) << "row " << r << " half highlighted";
            if (c0)
                out.push_back(r);
        }
        return out;
    }
    DalmurePrivate& c() { return h.c(); }
};

// The click's selection, highlight and editor placement are driven with the mouse in
// qt_widget_test.cpp; here the editor's text and caret, and the silence of a selection.
TEST_F(GridInteraction, ClickOnEitherRowEditsTheDataCellAndRaisesNothing) {
    addThree();
    h.c().AnnoAdd(u("10:00:04"), u("fourth"));
    h.grid().setRow(7);
    h.grid().setCol(1);
    h.grid().setText(u("notes of the fourth"));
    h.events.names.clear();
    for (std::int32_t col : {0, 1}) {
        ASSERT_TRUE(h.platform->userClick(6, col));
        EXPECT_EQ(c().Selected(), 3);
        EXPECT_EQ(highlightedRows(), (std::vector<std::int32_t>{6, 7}));
        EXPECT_TRUE(h.editor().hasFocus());
        EXPECT_EQ(s(h.editor().text()), "notes of the fourth");
        EXPECT_EQ(h.editor().selStart(), 19);
        ASSERT_TRUE(h.platform->userClick(0, col));
    }
    EXPECT_TRUE(h.events.names.empty());
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(GridInteraction, ClickOnTheEmptyListDoesNothing) {
    ASSERT_TRUE(h.platform->userClick(1, 1));
    EXPECT_EQ(c().Selected(), -1);
    EXPECT_TRUE(highlightedRows().empty());
    EXPECT_FALSE(h.editor().visible());
    EXPECT_TRUE(h.grid().visible());
    EXPECT_EQ(h.grid().row(), 0);

    // After a deletion that empties the list the old selection stays, untouched by clicks.
    h.add({{"10:00:00", "only"}});
    std::int32_t index = 0;
    c().AnnoDelete(index);
    ASSERT_TRUE(h.platform->userClick(1, 0));
    EXPECT_EQ(c().Selected(), 0);
    EXPECT_TRUE(highlightedRows().empty());
    EXPECT_FALSE(h.editor().visible());
}

TEST_F(GridInteraction, ClickLeavesAGridTheHostHidHidden) {
    addThree();
    bool hide = false;
    c().AllowRefreshPV(hide);
    ASSERT_TRUE(h.platform->userClick(0, 0));
    EXPECT_EQ(c().Selected(), 0);
    EXPECT_FALSE(h.grid().visible());
    EXPECT_EQ(highlightedRows(), (std::vector<std::int32_t>{0, 1}));
    c().AllowRefreshPV();
    ASSERT_TRUE(h.platform->userClick(4, 1));
    EXPECT_TRUE(h.grid().visible());
}

TEST_F(GridInteraction, DoubleClickAsksToPlayTheClickedAnnotation) {
    addThree();
    h.c().AnnoAdd(u("10:00:04"), Str()); // no description: nothing to play
    h.events.names.clear();
    std::int16_t selectedWhenRaised = -2;
    h.events.onDblClick = [&] { selectedWhenRaised = c().Selected(); };

    ASSERT_TRUE(h.platform->userDblClick(3, 0));
    EXPECT_EQ(h.events.names, (std::vector<std::string>{"DblClick()"}));
    EXPECT_EQ(selectedWhenRaised, 1);
    EXPECT_TRUE(highlightedRows().empty());
    EXPECT_TRUE(h.editor().visible()); // the editor is not closed

    h.events.names.clear();
    ASSERT_TRUE(h.platform->userDblClick(6, 1));
    EXPECT_TRUE(h.events.names.empty());
    EXPECT_EQ(c().Selected(), 3);
    EXPECT_TRUE(highlightedRows().empty());
}

// The move keys and the menu key on a list are driven with real keys in qt_widget_test.cpp.
TEST_F(GridInteraction, MoveKeysOnTheEmptyListDoNothing) {
    h.platform->userKeyDown(40);
    EXPECT_EQ(c().Selected(), -1);
    EXPECT_FALSE(h.editor().visible());
}

} // namespace
} // namespace dalmure
