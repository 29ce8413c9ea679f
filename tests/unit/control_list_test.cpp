// The annotation list: ordering, the placeholder rows, reading, deleting, clearing, the
// 16-bit index arithmetic and the cleaning of data texts.
#include "test_support.h"

#include <algorithm>
#include <random>

namespace dalmure::test {
namespace {

using Access = DalmureTestAccess;

class ControlList : public ControlTest {
  protected:
    void SetUp() override { startSized(); }
    Dalmure& c() { return h.c(); }
    platform::Grid& grid() { return h.grid(); }
};

TEST_F(ControlList, KeepsTimeOrderAndSelectsAndScrollsToEachNewAnnotation) {
    c().AnnoAdd(u"10:00:05", u"five");
    EXPECT_EQ(grid().rows(), 2); // written into the placeholder
    EXPECT_EQ(c().Selected(), 0);

    c().AnnoAdd(u"10:00:01", u"one");
    EXPECT_EQ(grid().rows(), 4);
    EXPECT_EQ(c().Selected(), 0);
    EXPECT_EQ(grid().topRow(), 0);

    c().AnnoAdd(u"10:00:03", u"three");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:00:01", "10:00:03", "10:00:05"}));
    EXPECT_EQ(c().Selected(), 1);
    EXPECT_EQ(grid().topRow(), 2);
    // The click handling leaves the data cell of the new annotation current.
    EXPECT_EQ(grid().row(), 3);
    EXPECT_EQ(grid().col(), 1);

    // Equal times: the later addition goes after every annotation with that time.
    c().AnnoAdd(u"10:00:03", u"three again");
    c().AnnoAdd(u"10:00:03", u"three thrice");
    EXPECT_EQ(c().AnnoDesc(1), u"three");
    EXPECT_EQ(c().AnnoDesc(2), u"three again");
    EXPECT_EQ(c().AnnoDesc(3), u"three thrice");
    EXPECT_EQ(c().Selected(), 3);

    // Main rows are bold in both cells, data rows plain.
    for (std::int32_t r = 0; r < grid().rows(); ++r) {
        EXPECT_EQ(grid().cellFontBoldAt(r, 0), r % 2 == 0) << r;
        EXPECT_EQ(grid().cellFontBoldAt(r, 1), r % 2 == 0) << r;
    }
    // Ordinal comparison: lower case sorts after upper case, "9" after "10".
    c().AnnoAdd(u"9:00", u"nine");
    EXPECT_EQ(h.times().back(), "9:00");
}

TEST_F(ControlList, RandomOrderAddsMatchAStableSortOfTheTimes) {
    std::mt19937 rng(12345);
    std::vector<std::pair<Str, Str>> added;
    for (int i = 0; i < 600; ++i) {
        const int secs = static_cast<int>(rng() % 120); // many equal times
        char buf[16];
        std::snprintf(buf, sizeof buf, "10:%02d:%02d", secs / 60, secs % 60);
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

TEST_F(ControlList, FirstAnnotationWithoutTimeIsTreatedAsThePlaceholder) {
    c().AnnoAdd(u"", u"no time");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().AnnoCount(), 1); // row 0 read in the current column (1): the description
    c().AnnoAdd(u"10:00:00", u"written over");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(h.cell(0, 0), "10:00:00");
    EXPECT_EQ(h.cell(0, 1), "written over");
}

TEST_F(ControlList, OverwrittenFirstRowBreaksTheOrderAndLaterAddsScanLiterally) {
    c().AnnoAdd(u"10:00", u"ten");
    c().AnnoAdd(u"", u"blank"); // "" sorts first: rows 0 and 1
    ASSERT_EQ(h.times(), (std::vector<std::string>{"", "10:00"}));
    // The next add sees an empty cell (0, 0) and writes over annotation 0.
    c().AnnoAdd(u"11:00", u"eleven");
    ASSERT_EQ(h.times(), (std::vector<std::string>{"11:00", "10:00"}));
    EXPECT_EQ(Access::timeOrderBreaks(c()), 1);
    // The literal scan stops at the first greater time: before 11:00, not at the end.
    c().AnnoAdd(u"10:30", u"half");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:30", "11:00", "10:00"}));
    EXPECT_EQ(Access::timeOrderBreaks(c()), 1);

    // Deleting 11:00 joins 10:30 and 10:00, still out of order.
    ASSERT_TRUE(h.platform->userClick(2, 1));
    std::int32_t index = 1;
    c().AnnoDelete(index);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:30", "10:00"}));
    EXPECT_EQ(Access::timeOrderBreaks(c()), 1);
    c().AnnoAdd(u"10:15", u"quarter");
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:15", "10:30", "10:00"}));

    // Deleting 10:00 leaves the list in order again.
    ASSERT_TRUE(h.platform->userClick(4, 0));
    index = 2;
    c().AnnoDelete(index);
    EXPECT_EQ(Access::timeOrderBreaks(c()), 0);
    c().ClearAll();
    EXPECT_EQ(Access::timeOrderBreaks(c()), 0);
}

TEST_F(ControlList, DataTextGoesIntoTheDataRowAndTheEditor) {
    c().AnnoAdd(u"10:00", u"empty data");
    EXPECT_EQ(h.cell(1, 1), "");
    const Str data = u"line one\r\nline two";
    h.add(u"11:00", u"two lines", data);
    EXPECT_EQ(grid().textMatrix(3, 1), data);
    EXPECT_EQ(grid().textMatrix(3, 0), u"");
    EXPECT_EQ(h.editor().text(), data);
    EXPECT_TRUE(h.editor().visible());
    // Texts are not cleaned on the way in.
    h.add(u"12:00", u"a+b|c", u"x&y");
    EXPECT_EQ(h.cell(4, 1), "a+b|c");
    EXPECT_EQ(h.cell(5, 1), "x&y");
}

TEST_F(ControlList, CountAndReadersOnEmptyAndPopulatedLists) {
    EXPECT_EQ(c().AnnoCount(), 0);
    EXPECT_EQ(c().AnnoTime(0), u"");
    EXPECT_EQ(c().AnnoDesc(0), u"");
    EXPECT_EQ(c().AnnoData(0), u"");
    h.add({{"10:00", "a"}, {"11:00", "b"}, {"12:00", "c"}});
    EXPECT_EQ(c().AnnoCount(), 3);
    EXPECT_EQ(c().AnnoTime(1), u"11:00");
    EXPECT_EQ(c().AnnoDesc(2), u"c");
    EXPECT_EQ(c().AnnoTime(c().AnnoCount()), u"");
    EXPECT_EQ(c().AnnoTime(-1), u"");

    // The readers leave the current cell where it was.
    grid().setRow(2);
    grid().setCol(0);
    c().AnnoData(2);
    c().AnnoDesc(0);
    EXPECT_EQ(grid().row(), 2);
    EXPECT_EQ(grid().col(), 0);
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(ControlList, AnnoDataCleansTheTextAndKeepsTheCleanedText) {
    h.add(u"10:00", u"d", u"l'a + b\\c|d&e\"<>");
    EXPECT_EQ(c().AnnoData(0), u"l`a  bcde\"<>");
    EXPECT_EQ(grid().textMatrix(1, 1), u"l`a  bcde\"<>");
    EXPECT_EQ(Dalmure::strCleanText(u"''\r\n`"), u"``\r\n`");
    EXPECT_EQ(Dalmure::strCleanText(u""), u"");
}

TEST_F(ControlList, IndexesBeyondSixteenBitsOverflowUnderTheMembersLabel) {
    h.add({{"10:00", "a"}});
    EXPECT_EQ(c().AnnoTime(16383), u""); // doubles to 32766: in range, past the end
    EXPECT_EQ(h.app.logCount(), 0u);

    EXPECT_EQ(c().AnnoTime(16384), u"");
    EXPECT_EQ(c().AnnoDesc(40000), u"");  // not even an Integer
    EXPECT_EQ(c().AnnoData(-16385), u""); // both sides of the range test are evaluated
    std::int32_t huge = 70000;
    c().AnnoDelete(huge);
    EXPECT_EQ(huge, 70000);
    EXPECT_EQ(c().AnnoCount(), 1);

    const auto lines = h.app.logEntries();
    ASSERT_EQ(lines.size(), 4u);
    const char* labels[] = {"errDalmure_AnnoTime", "errDalmure_AnnoDesc", "errDalmure_AnnoData",
                            "errDalmure_AnnoDelete"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i].number, "6");
        EXPECT_EQ(lines[i].description, "Overflow");
        EXPECT_EQ(lines[i].label, labels[i]);
    }
}

TEST_F(ControlList, DeleteRemovesTheSelectionAndReportsItsMainRow) {
    std::int32_t none = -1;
    h.add({{"10:00", "a"}, {"11:00", "b"}, {"12:00", "c"}, {"13:00", "d"}});
    c().AnnoDelete(none);
    EXPECT_EQ(none, -1);
    EXPECT_EQ(c().AnnoCount(), 4);

    ASSERT_TRUE(h.platform->userClick(5, 0)); // annotation 2
    ASSERT_EQ(c().Selected(), 2);
    std::int32_t index = 5; // the argument only gates the call
    c().AnnoDelete(index);
    EXPECT_EQ(index, 4);
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:00", "11:00", "13:00"}));
    // The click handling ran on the current cell: 13:00 is now selected and highlighted.
    EXPECT_EQ(c().Selected(), 2);
    EXPECT_EQ(grid().cellBackColorAt(4, 0), grid().backColorFixed());
    EXPECT_EQ(grid().cellBackColorAt(0, 0), grid().backColor());
    EXPECT_EQ(h.app.logCount(), 0u);
}

TEST_F(ControlList, DeleteWithoutSelectionIsAnInvalidRowAndRemovesNothing) {
    h.add({{"10:00", "a"}, {"11:00", "b"}});
    Access::setSelected(c(), -1);
    std::int32_t index = 0;
    c().AnnoDelete(index);
    EXPECT_EQ(index, -2);
    EXPECT_EQ(c().AnnoCount(), 2);
    // The highlight was cleared before the failing removal.
    for (std::int32_t r = 0; r < 4; ++r)
        EXPECT_EQ(grid().cellBackColorAt(r, 1), grid().backColor());
    const auto lines = h.app.logEntries("errDalmure_AnnoDelete");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].number, "30009");
}

TEST_F(ControlList, DeletingTheLastAnnotationReturnsToTheEmptyList) {
    h.add(u"10:00", u"only", u"notes");
    ASSERT_TRUE(h.editor().visible());
    std::int32_t index = 0;
    c().AnnoDelete(index);
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().AnnoCount(), 0);
    EXPECT_EQ(h.cell(0, 0), "");
    EXPECT_EQ(h.cell(1, 1), "");
    EXPECT_FALSE(h.editor().visible());
    EXPECT_EQ(h.editor().text(), u"");
    EXPECT_EQ(index, 0);
    // The selection survives; the validity test looks at the list first.
    EXPECT_EQ(c().Selected(), 0);
    EXPECT_FALSE(Access::blValideGrid(c()));
}

TEST_F(ControlList, ClearAllEmptiesTheListButKeepsTheSelection) {
    for (int i = 0; i < 10; ++i)
        c().AnnoAdd(u"10:0" + decimal(i), u"x");
    ASSERT_EQ(c().AnnoCount(), 10);
    ASSERT_TRUE(Access::blValideGrid(c()));
    const Str editorText = h.editor().text();
    c().ClearAll();
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().AnnoCount(), 0);
    for (std::int32_t r = 0; r < 2; ++r)
        for (std::int32_t col = 0; col < 2; ++col)
            EXPECT_EQ(h.cell(r, col), "");
    EXPECT_FALSE(h.editor().visible());
    EXPECT_EQ(h.editor().text(), editorText);
    EXPECT_EQ(c().Selected(), 9);
    EXPECT_FALSE(Access::blValideGrid(c()));
    // The next add fills the placeholder again.
    c().AnnoAdd(u"09:00", u"again");
    EXPECT_EQ(grid().rows(), 2);
    EXPECT_EQ(c().AnnoCount(), 1);
}

TEST_F(ControlList, HostChangesCommitTheNotesTypedIntoTheEditor) {
    h.add({{"10:00", "a"}, {"11:00", "b"}});
    ASSERT_TRUE(h.platform->userClick(1, 1));
    ASSERT_GT(h.platform->userType(u"typed"), 0);
    h.events.names.clear();
    c().AnnoAdd(u"12:00", u"c");
    EXPECT_EQ(h.cell(1, 1), "typed");
    EXPECT_EQ(h.events.names, (std::vector<std::string>{"AnnoModified(0)"}));

    // AnnoDelete(-1) changes nothing, not even the pending notes; a real delete commits first.
    ASSERT_TRUE(h.platform->userClick(3, 1));
    ASSERT_GT(h.platform->userType(u"gone"), 0);
    h.events.names.clear();
    std::int32_t none = -1;
    c().AnnoDelete(none);
    EXPECT_TRUE(h.events.names.empty());
    EXPECT_EQ(h.cell(3, 1), "");
    std::int32_t index = 1;
    c().AnnoDelete(index);
    EXPECT_EQ(h.events.names, (std::vector<std::string>{"AnnoModified(1)"}));
    EXPECT_EQ(h.times(), (std::vector<std::string>{"10:00", "12:00"}));

    ASSERT_TRUE(h.platform->userClick(3, 1));
    ASSERT_GT(h.platform->userType(u"more"), 0);
    h.events.names.clear();
    c().ClearAll();
    EXPECT_EQ(h.events.names, (std::vector<std::string>{"AnnoModified(1)"}));
}

} // namespace
} // namespace dalmure::test
