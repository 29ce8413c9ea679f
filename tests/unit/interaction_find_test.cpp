// The find bar on the in-memory platform: what the filter hides and shows as the clerk types and
// as the list changes under it, and the moves of Enter, F3 and Shift+F3.
#include "test_support.h"

namespace dalmure::test {
namespace {

using headless::FindKey;

class FindTest : public ControlTest {
  protected:
    void SetUp() override {
        startSized();
        h.add({{"10:00:00", "Ouverture"}, {"10:05:00", "T\xc3\xa9moin Roy"}});
        h.add(u("10:10:00"),
              u("Pi\xc3\xa8"
                "ce P-3"),
              u("d\xc3\xa9pos\xc3\xa9"
                "e par le t\xc3\xa9moin"));
        h.add({{"10:15:00", "Suspension"}});
    }
    // Annotations whose rows are shown, by time.
    std::vector<std::string> shown() {
        std::vector<std::string> out;
        for (std::int32_t r = 0; r + 1 < h.grid().rows(); r += 2) {
            EXPECT_EQ(h.grid().rowHidden(r), h.grid().rowHidden(r + 1));
            if (!h.grid().rowHidden(r))
                out.push_back(h.cell(r, 0));
        }
        return out;
    }
    // Ctrl+F from the grid, then the query typed.
    void find(const std::string& query) {
        h.platform->userClick(1, 1);
        ASSERT_TRUE(h.platform->userFind());
        ASSERT_TRUE(h.platform->findBarFocused());
        h.platform->userType(u(query));
    }
};

TEST_F(FindTest, FiltersIgnoringCaseAndAccentsInDescriptionsAndNotesAndGivesRoomToTheBar) {
    const std::int32_t gridTop = h.grid().top(), gridHeight = h.grid().height();
    find("TEMOIN");
    // Annotation 0 was clicked before the bar opened: its notes were worked in, it stays.
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:00:00", "10:05:00", "10:10:00"}));
    EXPECT_EQ(s(h.platform->findBarCount()), "2 sur 4");
    EXPECT_GT(h.grid().top(), gridTop);
    EXPECT_EQ(h.grid().top() + h.grid().height(), gridTop + gridHeight);
    // Escape shows everything again and puts the grid back where it was.
    ASSERT_TRUE(h.platform->userFindKey(FindKey::Escape));
    EXPECT_FALSE(h.platform->findBarShown());
    EXPECT_EQ(shown().size(), 4u);
    EXPECT_EQ(h.grid().top(), gridTop);
    EXPECT_EQ(h.grid().height(), gridHeight);
}

TEST_F(FindTest, TheNotesBeingEditedAreNeverHidden) {
    h.platform->userClick(7, 1); // Suspension, its notes typed into
    h.platform->userType(u("x"));
    ASSERT_TRUE(h.platform->userFind());
    h.platform->userType(u("roy"));
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:05:00", "10:15:00"}));
    // The typed notes were committed as the focus went to the bar.
    EXPECT_EQ(s(h.c().AnnoData(3)), "x");
    // Moving to the match lets the old one go; its notes take the keyboard as after a click.
    ASSERT_TRUE(h.platform->userFindKey(FindKey::Enter));
    EXPECT_EQ(h.c().Selected(), 1);
    EXPECT_FALSE(h.platform->findBarFocused());
    EXPECT_TRUE(h.editor().hasFocus());
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:05:00"}));
    h.platform->userType(u("vu"));
    h.platform->userClick(1, 1);
    EXPECT_EQ(s(h.c().AnnoData(1)), "vu");
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:00:00", "10:05:00"}));
}

TEST_F(FindTest, NextMatchWrapsAroundBothWaysAndSelectsAsAClick) {
    find("e");
    h.platform->userType(u("\b"));
    h.platform->userType(u("p"));
    // "p": Pièce P-3 and Suspension.
    ASSERT_TRUE(h.platform->userFindKey(FindKey::Enter));
    EXPECT_EQ(h.c().Selected(), 2);
    EXPECT_TRUE(h.editor().visible());
    ASSERT_TRUE(h.platform->userFindKey(FindKey::F3));
    EXPECT_EQ(h.c().Selected(), 3);
    ASSERT_TRUE(h.platform->userFindKey(FindKey::F3));
    EXPECT_EQ(h.c().Selected(), 2); // wrapped
    ASSERT_TRUE(h.platform->userFindKey(FindKey::ShiftF3));
    EXPECT_EQ(h.c().Selected(), 3); // back past the top
    // F3 went on from the notes each match opened; back in the bar, Enter goes on from there.
    EXPECT_TRUE(h.editor().hasFocus());
    ASSERT_TRUE(h.platform->userFind());
    ASSERT_TRUE(h.platform->findBarFocused());
    ASSERT_TRUE(h.platform->userFindKey(FindKey::Enter));
    EXPECT_EQ(h.c().Selected(), 2);
}

TEST_F(FindTest, AddsUnderAFilterAppearOnlyWhenTheyMatch) {
    find("temoin");
    h.add({{"10:20:00", "Autre"}});
    EXPECT_TRUE(h.platform->findBarFocused()); // the add took nothing from the bar
    h.add({{"10:25:00", "Second t\xc3\xa9moin"}});
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:00:00", "10:05:00", "10:10:00", "10:25:00"}));
    EXPECT_EQ(s(h.platform->findBarCount()), "3 sur 6");
    // A host data text that matches brings its annotation in.
    h.add(u("10:30:00"), u("Note"), u("t\xc3\xa9moin absent"));
    EXPECT_EQ(s(h.platform->findBarCount()), "4 sur 7");
    EXPECT_FALSE(h.grid().rowHidden(2 * 6));
}

TEST_F(FindTest, DeletesRenamesCommitsAndClearKeepTheFilterRight) {
    find("suspension");
    EXPECT_EQ(s(h.platform->findBarCount()), "1 sur 4");
    std::int32_t index = 1;
    h.c().AnnoDelete(index); // deletes the selected annotation (0)
    EXPECT_EQ(s(h.platform->findBarCount()), "1 sur 3");
    EXPECT_EQ(shown().back(), "10:15:00");
    // Notes committed on a shown annotation are matched anew.
    ASSERT_TRUE(h.platform->userClick(5, 1));
    h.platform->userType(u(" fin"));
    h.platform->userClick(4, 0); // the grid takes the focus: the notes are committed
    ASSERT_TRUE(h.platform->userFind());
    h.platform->userType(u("\b\b\b\b\b\b\b\b\b\bfin"));
    EXPECT_EQ(shown(), (std::vector<std::string>{"10:15:00"}));
    h.c().ClearAll();
    EXPECT_EQ(s(h.platform->findBarCount()), "0 sur 0");
    h.add({{"11:00:00", "Reprise fin"}, {"11:05:00", "Autre"}});
    EXPECT_EQ(s(h.platform->findBarCount()), "1 sur 2");
}

TEST(GridHiddenRows, HiddenRowsKeepTheirHeightButTakeNoRoom) {
    ControlHarness h;
    h.startSized();
    h.add({{"10:00:00", "a"}, {"10:05:00", "b"}, {"10:10:00", "c"}});
    platform::Grid& g = h.grid();
    g.setTopRow(0);
    const std::int32_t below = g.rowPos(4);
    const std::int32_t height = g.rowHeight(2);
    g.setRowHidden(2, true);
    g.setRowHidden(3, true);
    EXPECT_EQ(g.rowPos(4), below - height - g.rowHeight(3));
    g.setRowHeight(2, height + 100); // sizing a hidden row keeps it hidden
    EXPECT_TRUE(g.rowHidden(2));
    EXPECT_EQ(g.rowHeight(2), height + 100);
    EXPECT_EQ(g.rowPos(4), below - height - g.rowHeight(3));
    g.clear();
    EXPECT_TRUE(g.rowHidden(3));
    g.setRowHidden(2, false);
    g.setRowHidden(3, false);
    EXPECT_EQ(g.rowPos(4), below + 100);
}

} // namespace
} // namespace dalmure::test
