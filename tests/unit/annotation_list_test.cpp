// The annotation list on a bare grid model: time order (equal times, ordinal order, a blank time
// breaking it), the time-order bookkeeping against a fresh count, removal and clearing back to
// the placeholder; the notes editor's state: which sequences of opening, closing, an emptied list
// and a failed selection leave notes of the user's to commit, and the text a commit compares with.
#include "annotations/annotation_list.h"
#include "interaction/notes_editor_state.h"
#include "platform/grid_model.h"
#include "random_steps.h"
#include "support/text.h"
#include <dalmure/error.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace dalmure {
namespace {

struct Added {
    const char* time;
    const char* desc;
};

class AnnotationListTest : public ::testing::Test {
  protected:
    platform::GridModel grid; // starts as the placeholder
    AnnotationList list{grid};

    void add(const std::vector<Added>& items) {
        for (const Added& a : items)
            list.insert(fromUtf8(a.time), fromUtf8(a.desc));
    }
    // "time desc" of every annotation, read from the grid's cells.
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (std::int32_t r = 0; r + 1 < grid.rows(); r += 2)
            out.push_back(toUtf8(grid.textMatrix(r, 0)) + " " + toUtf8(grid.textMatrix(r, 1)));
        return out;
    }
    std::int32_t freshBreaks() {
        AnnotationList fresh(grid);
        fresh.recountTimeOrder();
        return fresh.timeOrderBreaks();
    }
};

TEST_F(AnnotationListTest, AddsKeepOrdinalTimeOrderWithEqualTimesInArrivalOrder) {
    struct Case {
        const char* name;
        std::vector<Added> adds;
        std::vector<std::string> expected;
    } cases[] = {
        {"equal times",
         {{"10:00", "1"}, {"09:00", "x"}, {"10:00", "2"}, {"10:00", "3"}},
         {"09:00 x", "10:00 1", "10:00 2", "10:00 3"}},
        {"ordinal, not numeric",
         {{"9:00", "late"}, {"10:00", "early"}},
         {"10:00 early", "9:00 late"}},
        {"blank time after the first goes first", {{"10:00", "a"}, {"", "b"}}, {" b", "10:00 a"}},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        list.clear();
        add(tc.adds);
        EXPECT_EQ(rows(), tc.expected);
        EXPECT_EQ(list.count(), static_cast<std::int32_t>(tc.expected.size()));
        EXPECT_EQ(list.timeOrderBreaks(), 0);
        for (std::int32_t k = 0; k < list.count(); ++k) {
            EXPECT_TRUE(grid.cellFontBoldAt(2 * k, 0) && grid.cellFontBoldAt(2 * k, 1)) << k;
            EXPECT_FALSE(grid.cellFontBoldAt(2 * k + 1, 1)) << k;
            EXPECT_EQ(grid.textMatrix(2 * k + 1, 1), Str()) << k;
        }
    }
}

TEST_F(AnnotationListTest, BlankFirstTimeIsWrittenOverAndLaterInsertionsScan) {
    add({{"10:00", "a"}, {"", "blank"}, {"11:00", "b"}}); // 11:00 takes the blank's rows
    ASSERT_EQ(rows(), (std::vector<std::string>{"11:00 b", "10:00 a"}));
    EXPECT_EQ(list.timeOrderBreaks(), 1);
    // A bisection would put 10:30 at the end; the scan stops before the first greater time.
    grid.setCol(1); // the scan reads the times whatever the current column
    EXPECT_EQ(list.insertionRow(u"10:30"), 0);
    EXPECT_EQ(list.insertionRow(u"12:00"), 4);

    EXPECT_EQ(list.insert(u"10:30", u"c"), 0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"10:30 c", "11:00 b", "10:00 a"}));
    list.remove(1); // 11:00 goes; 10:30 > 10:00 still out of order
    EXPECT_EQ(list.timeOrderBreaks(), 1);
    list.remove(1); // in order again: bisection
    EXPECT_EQ(list.timeOrderBreaks(), 0);
    add({{"10:45", "d"}, {"10:15", "e"}});
    EXPECT_EQ(rows(), (std::vector<std::string>{"10:15 e", "10:30 c", "10:45 d"}));
}

TEST_F(AnnotationListTest, RecountFindsEveryNeighbouringPairOutOfOrder) {
    struct Case {
        std::vector<const char*> times;
        std::int32_t breaks;
    } cases[] = {{{"1", "2", "3"}, 0}, {{"1", "1", "1"}, 0},      {{"3", "2", "1"}, 2},
                 {{"2", "1", "3"}, 1}, {{"1", "3", "2", "4"}, 1}, {{"", "b", "a", ""}, 2}};
    for (const Case& tc : cases) {
        list.clear();
        // Rows added in order, then their times written over as the case gives them.
        for (std::size_t i = 0; i < tc.times.size(); ++i)
            list.insert(u"~" + decimal(static_cast<long long>(i)), u"");
        grid.setCol(0);
        for (std::size_t i = 0; i < tc.times.size(); ++i) {
            grid.setRow(static_cast<std::int32_t>(2 * i));
            grid.setText(fromUtf8(tc.times[i]));
        }
        list.recountTimeOrder();
        EXPECT_EQ(list.timeOrderBreaks(), tc.breaks) << tc.times.size() << " " << tc.times[0];
    }
}

// Random adds (blank times among them) and removals: the kept count of breaks always equals a
// fresh count, and the order is the one a plain vector gets from the same rules.
TEST_F(AnnotationListTest, BookkeepingMatchesAFreshCountThroughRandomChanges) {
    const char* times[] = {"", "08:00", "09:30", "10:00", "10:00", "11:15", "9:00"};
    std::vector<std::string> model;
    std::mt19937 rng(7);
    for (int step = 0; step < test::randomSteps(400); ++step) {
        const auto n = model.size();
        if (n >= 2 && rng() % 3 == 0) {
            const auto k = rng() % n;
            list.remove(static_cast<std::int32_t>(k));
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(k));
        } else {
            const std::string t = times[rng() % std::size(times)];
            list.insert(fromUtf8(t), u"");
            if (model.empty())
                model.push_back(t);
            else if (model[0].empty()) // written over
                model[0] = t;
            else
                model.insert(std::find_if(model.begin(), model.end(),
                                          [&](const std::string& m) { return m > t; }),
                             t);
        }
        ASSERT_EQ(list.timeOrderBreaks(), freshBreaks()) << step;
        ASSERT_EQ(list.count(), model.empty() || model == std::vector<std::string>{""}
                                    ? 0
                                    : static_cast<std::int32_t>(model.size()))
            << step;
        for (std::size_t k = 0; k < model.size(); ++k)
            ASSERT_EQ(toUtf8(grid.textMatrix(static_cast<std::int32_t>(2 * k), 0)), model[k])
                << step;
    }
}

TEST_F(AnnotationListTest, RemovingAndClearingLeaveThePlaceholder) {
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.showsPlaceholder());
    add({{"10:00", "a"}, {"11:00", "b"}, {"12:00", "c"}});
    EXPECT_FALSE(list.showsPlaceholder());
    for (std::int32_t bad : {-1, 3}) { // nothing removed
        EXPECT_THROW(list.remove(bad), ControlError) << bad;
        EXPECT_EQ(list.count(), 3) << bad;
    }
    list.remove(0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"11:00 b", "12:00 c"}));

    list.clear();
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(rows(), (std::vector<std::string>{" "}));
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.showsPlaceholder());
    EXPECT_EQ(list.insert(u"13:00", u"d"), 0); // written over the placeholder's rows
    EXPECT_EQ(grid.rows(), 2);
    EXPECT_EQ(list.count(), 1);
}

TEST_F(AnnotationListTest, ReadersPutTheCurrentCellBackAndStoreCleanedNotes) {
    add({{"10:00", "a"}, {"11:00", "b"}});
    grid.setRow(3);
    grid.setCol(1);
    grid.setText(u"l'a + b");
    grid.setRow(0);
    grid.setCol(1);
    EXPECT_EQ(list.time(1), u"11:00");
    EXPECT_EQ(list.description(0), u"a");
    EXPECT_EQ(list.notes(1), u"l`a  b");
    EXPECT_EQ(grid.textMatrix(3, 1), u"l`a  b");
    EXPECT_EQ(grid.row(), 0);
    EXPECT_EQ(grid.col(), 1);
}

// --- The notes editor's state ------------------------------------------------------------------

enum class Step { Open, Close, ListEmptied, SelectionFailed };

void run(NotesEditorState& state, const std::vector<Step>& steps) {
    for (Step step : steps) {
        switch (step) {
        case Step::Open:
            state.opened();
            break;
        case Step::Close:
            state.closed();
            break;
        case Step::ListEmptied:
            state.closedByList();
            break;
        case Step::SelectionFailed:
            state.selectionFailed();
            break;
        }
    }
}

TEST(NotesEditorState, EmptiedListsAndFailedSelectionsHoldUntilTheNextOpening) {
    using enum Step;
    struct Case {
        const char* name;
        std::vector<Step> steps;
        bool open, editsSelection, holdsWhenHidden, commitDue;
    } cases[] = {
        {"never opened", {}, false, false, true, true},
        {"opened", {Open}, true, true, true, true},
        {"closed by Esc", {Open, Close}, false, false, true, true},
        {"list emptied", {Open, ListEmptied}, false, false, false, true},
        {"emptied, then closed again", {Open, ListEmptied, Close}, false, false, false, true},
        {"emptied, then opened", {ListEmptied, Open}, true, true, true, true},
        {"selection failed", {Open, SelectionFailed, Close}, false, false, true, false},
        {"failed while open", {Open, SelectionFailed}, true, false, true, false},
        {"failed, then emptied", {SelectionFailed, ListEmptied}, false, false, false, false},
        {"failed, then opened", {SelectionFailed, Open}, true, true, true, true},
    };
    for (const Case& tc : cases) {
        SCOPED_TRACE(tc.name);
        NotesEditorState state;
        run(state, tc.steps);
        EXPECT_EQ(state.isOpen(), tc.open);
        EXPECT_EQ(state.editsSelection(), tc.editsSelection);
        EXPECT_EQ(state.holdsUserNotes(false), tc.holdsWhenHidden);
        EXPECT_TRUE(state.holdsUserNotes(true)); // a shown editor is always the user's
        EXPECT_EQ(state.commitDue(u"typed", 0), tc.commitDue);
        EXPECT_FALSE(state.commitDue(u"typed", -1)); // no annotation selected
    }
}

TEST(NotesEditorState, OnlyAChangedTextIsDueAndACommitMovesTheStart) {
    NotesEditorState state;
    state.opened();
    state.focusTaken(u"abc");
    EXPECT_FALSE(state.commitDue(u"abc", 0));
    EXPECT_TRUE(state.commitDue(u"abcd", 0));
    state.committed(u"abcd");
    EXPECT_EQ(state.startText(), u"abcd");
    EXPECT_FALSE(state.commitDue(u"abcd", 0));
    state.opened(); // reopening keeps the start until the focus is taken again
    EXPECT_FALSE(state.commitDue(u"abcd", 0));
    state.focusTaken(Str());
    EXPECT_TRUE(state.commitDue(u"abcd", 0));
}

} // namespace
} // namespace dalmure
