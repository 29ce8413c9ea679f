// The host's list members over the annotation list: the placeholder rows, deleting, clearing and
// the 16-bit index arithmetic; the background colour and the container's ambient and focus
// notifications; selecting on the grid and the double click.
#include "platform/design.h"
#include "support/errors.h"
#include "test_support.h"

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;

class ControlList : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    DalmurePrivate& c() { return h.c(); }
    platform::Grid& grid() { return h.grid(); }
    void addFour(Str fourth = u"fourth") {
        h.add({{"10:00:01", "first"}, {"10:00:02", "second"}, {"10:00:03", "third"}});
        c().AnnoAdd(u("10:00:04"), fourth);
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
    // "selected highlighted-rows editor-shown" after the user's click.
    std::string afterClick(std::int32_t row, std::int32_t col) {
        EXPECT_TRUE(h.platform->userClick(row, col));
        std::string rows;
        for (std::int32_t r : highlightedRows())
            rows += std::to_string(r);
        return std::to_string(c().Selected()) + " " + rows + " " +
               (h.editor().visible() ? "shown" : "hidden");
    }
};

// The host's count over a blank first time is read in the grid's current column.
TEST_F(ControlList, BlankFirstTimeCountsAsAnAnnotationUntilWrittenOver) {
    c().AnnoAdd(u"", u"no time");
    EXPECT_EQ(c().AnnoCount(), 1); // row 0 read in the current column (1): the description
    c().AnnoAdd(u"10:00", u"written over");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(h.cell(0, 1), "written over");
}

// A delete's index is the host's own variable: a failed delete removes nothing and writes the
// index back only where the selection said so.
TEST_F(ControlList, FailedDeletesRemoveNothingAndLogWhy) {
    h.add({{"10:00", "a"}, {"11:00", "b"}});
    Access::setSelected(c(), -1);
    std::int32_t index = 0;
    c().AnnoDelete(index);
    EXPECT_EQ(index, -2);
    EXPECT_TRUE(highlightedRows().empty()); // the highlight was cleared before the failure
    std::int32_t huge = 70000;
    c().AnnoDelete(huge);
    EXPECT_EQ(huge, 70000);
    EXPECT_EQ(c().AnnoCount(), 2);
    EXPECT_EQ(logged(h.app), "errDalmure_AnnoDelete 30009 Invalid Row value\n"
                             "errDalmure_AnnoDelete 6 Overflow\n");
    // A key on the list with a selection the host left negative opens nothing and raises nothing.
    Access::setSelected(c(), -2);
    EXPECT_NO_THROW(h.platform->userKeyPress('x'));
}

// A click on a list never filled, or emptied, selects nothing; an emptied list keeps the old one.
TEST_F(ControlList, EmptiedListIsInvalidWhateverTheSelectionHolds) {
    EXPECT_EQ(afterClick(1, 1), "-1  hidden");
    EXPECT_EQ(std::pair(grid().visible(), grid().row()), std::pair(true, 0));
    const struct {
        bool clear;
        int count;
        std::int16_t selected;
    } cases[] = {{false, 1, 0}, {true, 10, 9}};
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.clear);
        for (int i = 0; i < tc.count; ++i)
            h.add(u"10:0" + decimal(i), u"x", u"notes");
        ASSERT_TRUE(Access::blValideGrid(c()));
        const Str editorText = h.editor().text();
        if (tc.clear) {
            c().ClearAll();
        } else {
            std::int32_t index = 0;
            c().AnnoDelete(index);
        }
        EXPECT_EQ(grid().rows(), 2);
        EXPECT_EQ(c().AnnoCount(), 0);
        EXPECT_FALSE(h.editor().visible());
        // Deleting empties the editor; clearing leaves its text.
        EXPECT_EQ(h.editor().text(), tc.clear ? editorText : Str());
        EXPECT_EQ(c().Selected(), tc.selected);
        EXPECT_FALSE(Access::blValideGrid(c()));
        EXPECT_EQ(afterClick(1, 0), std::to_string(tc.selected) + "  hidden");
    }
}

// The container's back colour repaints every button only; the property's own rounds half to even
// and overflows beyond 32 bits; the focus given back to a hidden editor stays with the container.
TEST_F(ControlList, BackColoursAndTheFocusGivenBackToAHiddenEditor) {
    h.platform->surface().setBackColor(0x00AA00);
    h.platform->userAmbient(u"Font");
    EXPECT_EQ(h.button(platform::ButtonId::View).buttonColor(), design::kButtonColor);
    h.platform->userAmbient(u"BackColor");
    for (platform::ButtonId id : platform::kAllButtons)
        EXPECT_EQ(h.button(id).buttonColor(), 0x00AA00);
    EXPECT_EQ(c().BackColor(), 0); // the property is not touched
    h.platform->userFocus();
    EXPECT_FALSE(h.editor().hasFocus());
    c().LetBackColor(2.5);
    EXPECT_EQ(c().BackColor(), 2);
    c().LetBackColor(-2147483648.0);
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

// A selection raises nothing; the editor opens on the data cell, its caret at the end.
TEST_F(ControlList, ClickOnEitherRowEditsTheDataCellAndLeavesAHiddenGridHidden) {
    addFour();
    grid().setRow(7);
    grid().setCol(1);
    grid().setText(u("notes of the fourth"));
    h.events.names.clear();
    for (std::int32_t col : {0, 1}) {
        EXPECT_EQ(afterClick(6, col), "3 67 shown");
        EXPECT_TRUE(h.editor().hasFocus());
        EXPECT_EQ(s(h.editor().text()), "notes of the fourth");
        EXPECT_EQ(h.editor().selStart(), 19);
        ASSERT_TRUE(h.platform->userClick(0, col));
    }
    EXPECT_TRUE(h.events.names.empty());
    EXPECT_EQ(h.app.logCount(), 0u);
    // A grid the host hid stays hidden through a click, until the host shows it again.
    bool hide = false;
    c().AllowRefreshPV(hide);
    EXPECT_EQ(afterClick(0, 0), "0 01 shown");
    EXPECT_FALSE(h.grid().visible());
    c().AllowRefreshPV();
    ASSERT_TRUE(h.platform->userClick(4, 1));
    EXPECT_TRUE(h.grid().visible());
}

TEST_F(ControlList, DoubleClickAsksToPlayTheClickedAnnotation) {
    addFour(Str()); // no description: nothing to play
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
