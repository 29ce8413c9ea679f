// The editor's commit, the grid handlers and the commands at the edges of their arithmetic and
// of what they leave behind after an error.
#include "test_support.h"

#include <gtest/gtest.h>

namespace dalmure {
namespace {

using test::s;
using test::u;

class Audit2Interaction : public test::ControlTest {
  protected:
    void SetUp() override {
        startSized();
        h.add({{"10:00:00", "opening"}, {"10:30:00", "witness"}});
        ASSERT_TRUE(h.platform->userClick(2, 1));
        h.events.names.clear();
    }
    Dalmure& c() { return h.c(); }
};

// The commit moves to column 1 before it works out the data row: an index whose data row is
// past 16 bits leaves column 1 current, the row where it was, nothing written and no event.
TEST_F(Audit2Interaction, OverflowingCommitHasAlreadyMovedToColumnOne) {
    h.platform->userType(u("far"));
    DalmureTestAccess::setSelected(c(), 16384);
    h.grid().setRow(0);
    h.grid().setCol(0);
    h.platform->userBlur();
    EXPECT_EQ(h.grid().col(), 1);
    EXPECT_EQ(h.grid().row(), 0);
    EXPECT_EQ(h.cell(3, 1), "");
    EXPECT_TRUE(h.events.names.empty());
    const auto lines = h.app.logEntries("errDalmure_Text1_LostFocus");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].number, "6");
}

} // namespace
} // namespace dalmure
