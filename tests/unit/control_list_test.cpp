// The annotation list: ordering (incl. after a blank time broke it), the placeholder rows,
// deleting, clearing, the 16-bit index arithmetic and the cleaning of data texts.
#include "test_support.h"

#include <algorithm>
#include <random>

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;

class ControlList : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    DalmurePrivate& c() { return h.c(); }
    platform::Grid& grid() { return h.grid(); }
    void del(std::int32_t index) { c().AnnoDelete(index); }
};

TEST_F(ControlList, RandomOrderAddsMatchAStableOrdinalSortOfTheTimes) {
    std::mt19937 rng(12345);
    std::vector<std::pair<Str, Str>> added;
    for (int i = 0; i < 600; ++i) {
        const int secs = static_cast<int>(rng() % 120); // many equal times
        char buf[16];
        std::snprintf(buf, sizeof buf, "%d:%02d:%02d", secs % 3 == 0 ? 9 : 10, secs / 60,
                      secs % 60); // "9:..." sorts after "10:..." (ordinal)
        added.emplace_back(u(buf), u(std::to_string(i)));
        c().AnnoAdd(added.back().first, added.back().second);
    }
    std::stable_sort(added.begin(), added.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_EQ(c().AnnoCount(), 600);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(grid().textMatrix(2 * i, 0), added[i].first) << i;
        ASSERT_EQ(grid().textMatrix(2 * i, 1), added[i].second) << i;
    }
    EXPECT_EQ(Access::timeOrderBreaks(c()), 0);
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(ControlList, BlankFirstTimeIsTakenForThePlaceholderAndLaterAddsScanLiterally) {
    c().AnnoAdd(u"", u"no time");
    EXPECT_EQ(c().AnnoCount(), 1); // row 0 read in the current column (1): the description
    c().AnnoAdd(u"10:00", u"written over");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(h.cell(0, 1), "written over");

    c().AnnoAdd(u"", u"blank"); // "" sorts first: rows 0 and 1
    c().AnnoAdd(u"11:00", u"eleven");
    ASSERT_EQ(h.times(), (std::vector<std::string>{"11:00", "10:00"}));
    EXPECT_EQ(Access::timeOrderBreaks(c()), 1);
    // The literal scan stops at the first greater time: before 11:00, not at the end.
    c().AnnoAdd(u"10:30", u"half");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:30", "11:00", "10:00"}));

    ASSERT_TRUE(h.platform->userClick(2, 1)); // delete 11:00: still out of order
    del(1);
    EXPECT_EQ(Access::timeOrderBreaks(c()), 1);
    c().AnnoAdd(u"10:15", u"quarter");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:15", "10:30", "10:00"}));
    ASSERT_TRUE(h.platform->userClick(4, 0)); // delete 10:00: in order again
    del(2);
    EXPECT_EQ(Access::timeOrderBreaks(c()), 0);
}

TEST_F(ControlList, TextsAreStoredAsGivenAndCleanedWhenTheDataIsRead) {
    h.add(u"10:00", u"a+b|c", u"l'a + b\\c|d&e\"<>");
    EXPECT_EQ(h.cell(0, 1), "a+b|c");
    EXPECT_EQ(grid().textMatrix(1, 1), u"l'a + b\\c|d&e\"<>");
    // The readers leave the current cell where it was.
    grid().setRow(0);
    grid().setCol(0);
    EXPECT_EQ(c().AnnoData(0), u"l`a  bcde\"<>");
    EXPECT_EQ(grid().textMatrix(1, 1), u"l`a  bcde\"<>");
    EXPECT_EQ(grid().row(), 0);
    EXPECT_EQ(grid().col(), 0);
    EXPECT_EQ(cleanText(u"''\r\n`"), u"``\r\n`");
}

TEST_F(ControlList, IndexesBeyondSixteenBitsOverflowUnderTheMembersLabel) {
    h.add({{"10:00", "a"}});
    EXPECT_EQ(c().AnnoTime(16383), u""); // doubles to 32766: in range, past the end
    EXPECT_EQ(h.app.logCount(), 0u);
    EXPECT_EQ(c().AnnoData(-16385), u""); // both sides of the range test are evaluated
    std::int32_t huge = 70000;
    c().AnnoDelete(huge);
    EXPECT_EQ(huge, 70000);
    EXPECT_EQ(c().AnnoCount(), 1);
    const auto lines = h.app.logEntries();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].label, "errDalmure_AnnoData");
    EXPECT_EQ(lines[1].label, "errDalmure_AnnoDelete");
    for (const auto& line : lines)
        EXPECT_EQ(line.number + " " + line.description, "6 Overflow");
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
    const auto lines = h.app.logEntries("errDalmure_AnnoDelete");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].number, "30009");
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

} // namespace
} // namespace dalmure::test
