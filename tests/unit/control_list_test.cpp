// The host's list members over the annotation list: the placeholder rows, deleting, clearing
// and the 16-bit index arithmetic; the background colour's conversion and the container's ambient
// and focus notifications; selecting on the grid, the double click and the move keys on an empty
// list (the user's scroll closing the notes is played by the editing scenario and the
// conformance tests).
#include "platform/design.h"
#include "support/errors.h"
#include "test_support.h"

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;
using platform::ButtonId;

class ControlList : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    DalmurePrivate& c() { return h.c(); }
    platform::Grid& grid() { return h.grid(); }
    void del(std::int32_t index) { c().AnnoDelete(index); }
    void addThree() {
        h.add({{"10:00:01", "first"}, {"10:00:02", "second"}, {"10:00:03", "third"}});
    }
    // Rows whose two cells carry the highlight colour.
    std::vector<std::int32_t> highlightedRows() {
        std::vector<std::int32_t> out;
        for (std::int32_t r = 0; r < grid().rows(); ++r) {
            const bool c0 = grid().cellBackColorAt(r, 0) == grid().backColorFixed();
            EXPECT_EQ(c0, grid().cellBackColorAt(r, 1) == grid().backColorFixed()) << "row " << r;
            if (c0)
                out.push_back(r);
        }
        return out;
    }
};

// Order, scan and cleaning are the annotation list's (annotation_list_test.cpp); here what the
// control adds: the host's count over a blank first time, read in the grid's current column.
TEST_F(ControlList, BlankFirstTimeCountsAsAnAnnotationUntilWrittenOver) {
    c().AnnoAdd(u"", u"no time");
    EXPECT_EQ(c().AnnoCount(), 1); // row 0 read in the current column (1): the description
    c().AnnoAdd(u"10:00", u"written over");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(h.cell(0, 1), "written over");
}

// The readers' overflows are played by the annotations-order scenario; a delete's index is the
// host's own variable and stays as it was.
TEST_F(ControlList, ADeleteIndexBeyondSixteenBitsOverflowsAndStaysAsGiven) {
    h.add({{"10:00", "a"}});
    std::int32_t huge = 70000;
    c().AnnoDelete(huge);
    EXPECT_EQ(huge, 70000);
    EXPECT_EQ(c().AnnoCount(), 1);
    EXPECT_EQ(logged(h.app), "errDalmure_AnnoDelete 6 Overflow\n");
}

TEST_F(ControlList, DeleteWithoutSelectionIsAnInvalidRowAndRemovesNothing) {
    h.add({{"10:00", "a"}, {"11:00", "b"}});
    Access::setSelected(c(), -1);
    std::int32_t index = 0;
    c().AnnoDelete(index);
    EXPECT_EQ(index, -2);
    EXPECT_EQ(c().AnnoCount(), 2);
    for (std::int32_t r = 0; r < 4; ++r) // the highlight was cleared before the failure
        EXPECT_EQ(grid().cellBackColorAt(r, 1), grid().backColor());
    EXPECT_EQ(logged(h.app), "errDalmure_AnnoDelete 30009 Invalid Row value\n");
}

TEST_F(ControlList, EmptiedListIsInvalidWhateverTheSelectionHolds) {
    struct Case {
        const char* how;
        int count;
        std::int16_t selected;
    } cases[] = {{"delete", 1, 0}, {"clear", 10, 9}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.how);
        for (int i = 0; i < tc.count; ++i)
            h.add(u"10:0" + decimal(i), u"x", u"notes");
        ASSERT_TRUE(Access::blValideGrid(c()));
        const Str editorText = h.editor().text();
        if (tc.how[0] == 'd')
            del(0);
        else
            c().ClearAll();
        EXPECT_EQ(grid().rows(), 2);
        EXPECT_EQ(c().AnnoCount(), 0);
        EXPECT_FALSE(h.editor().visible());
        // Deleting empties the editor; clearing leaves its text.
        EXPECT_EQ(h.editor().text(), tc.how[0] == 'd' ? Str() : editorText);
        EXPECT_EQ(c().Selected(), tc.selected);
        EXPECT_FALSE(Access::blValideGrid(c()));
    }
}

TEST_F(ControlList, BackColorRoundsHalfToEvenAndOverflowsBeyond32Bits) {
    c().LetBackColor(2.5);
    EXPECT_EQ(c().BackColor(), 2);
    c().LetBackColor(-2147483648.0);
    EXPECT_EQ(c().BackColor(), INT32_MIN);
    try {
        c().LetBackColor(2147483648.0);
        ADD_FAILURE() << "no overflow";
    } catch (const ControlError& e) {
        EXPECT_EQ(e.number(), errors::kOverflow);
    }
    EXPECT_EQ(c().BackColor(), INT32_MIN);
    EXPECT_EQ(h.grid().backColor(), 0xFFFFFF); // the grid keeps its own white
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(ControlList, AmbientBackColorRepaintsEveryButtonOnly) {
    h.platform->surface().setBackColor(0x00AA00);
    h.platform->userAmbient(u"Font");
    EXPECT_EQ(h.button(ButtonId::View).buttonColor(), design::kButtonColor);
    h.platform->userAmbient(u"BackColor");
    for (ButtonId id : platform::kAllButtons)
        EXPECT_EQ(h.button(id).buttonColor(), 0x00AA00);
    EXPECT_EQ(c().BackColor(), 0); // the property is not touched
}

// The focus given back to the open notes is played by the typing model on each platform.
TEST_F(ControlList, EnterFocusIgnoresAHiddenEditor) {
    h.platform->userFocus();
    EXPECT_FALSE(h.editor().hasFocus());
    EXPECT_EQ(h.app.logCount(), 0u);
}

// --- Selecting on the grid --------------------------------------------------------------------

// The click's selection, highlight and editor placement are driven with the mouse in
// qt_widget_test.cpp; here the editor's text and caret, and the silence of a selection.
TEST_F(ControlList, ClickOnEitherRowEditsTheDataCellAndRaisesNothing) {
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

TEST_F(ControlList, ClickOnTheEmptyListDoesNothing) {
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

TEST_F(ControlList, ClickLeavesAGridTheHostHidHidden) {
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

TEST_F(ControlList, DoubleClickAsksToPlayTheClickedAnnotation) {
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

} // namespace
} // namespace dalmure::test
