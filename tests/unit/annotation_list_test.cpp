// The annotation list on a bare grid model: time order (equal times, ordinal order, a blank time
// breaking it) and its bookkeeping against a fresh count, removal and clearing back to the
// placeholder; the notes editor's state: which sequences leave notes of the user's to commit.
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

using Rows = std::vector<std::string>;

class AnnotationListTest : public ::testing::Test {
  protected:
    platform::GridModel grid; // starts as the placeholder
    AnnotationList list{grid};

    // Adds {time, desc} pairs; "" as a time is a blank time.
    void add(const std::vector<std::pair<const char*, const char*>>& items) {
        for (const auto& [time, desc] : items)
            list.insert(fromUtf8(time), fromUtf8(desc));
    }
    // "time desc" of every annotation, read from the grid's cells.
    Rows rows() const {
        Rows out;
        for (std::int32_t r = 0; r + 1 < grid.rows(); r += 2)
            out.push_back(toUtf8(grid.textMatrix(r, 0)) + " " + toUtf8(grid.textMatrix(r, 1)));
        return out;
    }
};

TEST_F(AnnotationListTest, AddsKeepOrdinalTimeOrderWithEqualTimesInArrivalOrder) {
    const struct {
        std::vector<std::pair<const char*, const char*>> adds;
        Rows expected;
    } cases[] = {
        {{{"10:00", "1"}, {"09:00", "x"}, {"10:00", "2"}, {"10:00", "3"}},
         {"09:00 x", "10:00 1", "10:00 2", "10:00 3"}},
        {{{"9:00", "late"}, {"10:00", "early"}}, {"10:00 early", "9:00 late"}}, // not numeric
        {{{"10:00", "a"}, {"", "b"}}, {" b", "10:00 a"}}, // a blank time after the first goes first
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.expected[0]);
        list.clear();
        add(tc.adds);
        EXPECT_EQ(rows(), tc.expected);
        EXPECT_EQ(list.count(), static_cast<std::int32_t>(tc.expected.size()));
        EXPECT_EQ(list.timeOrderBreaks(), 0);
        for (std::int32_t r = 0; r < grid.rows(); ++r) { // main rows bold, notes rows empty
            EXPECT_EQ(grid.cellFontBoldAt(r, 1), r % 2 == 0) << r;
            EXPECT_TRUE(r % 2 == 1 || grid.cellFontBoldAt(r, 0)) << r;
            EXPECT_EQ(grid.textMatrix(r, 1).empty(), r % 2 == 1) << r;
        }
    }
}

TEST_F(AnnotationListTest, BlankFirstTimeIsWrittenOverAndLaterInsertionsScan) {
    add({{"10:00", "a"}, {"", "blank"}, {"11:00", "b"}}); // 11:00 takes the blank's rows
    ASSERT_EQ(rows(), (Rows{"11:00 b", "10:00 a"}));
    EXPECT_EQ(list.timeOrderBreaks(), 1);
    // A bisection would put 10:30 at the end; the scan stops before the first greater time.
    grid.setCol(1); // the scan reads the times whatever the current column
    EXPECT_EQ(list.insertionRow(u"10:30"), 0);
    EXPECT_EQ(list.insertionRow(u"12:00"), 4);
    EXPECT_EQ(list.insert(u"10:30", u"c"), 0);
    EXPECT_EQ(rows(), (Rows{"10:30 c", "11:00 b", "10:00 a"}));
    list.remove(1); // 11:00 goes; 10:30 > 10:00 still out of order
    EXPECT_EQ(list.timeOrderBreaks(), 1);
    list.remove(1); // in order again: bisection
    EXPECT_EQ(list.timeOrderBreaks(), 0);
    add({{"10:45", "d"}, {"10:15", "e"}});
    EXPECT_EQ(rows(), (Rows{"10:15 e", "10:30 c", "10:45 d"}));
}

// Random adds (blank times among them), removals and times written over then recounted: the
// count of breaks always equals the plain vector's, and so does the order the same rules give.
TEST_F(AnnotationListTest, BookkeepingMatchesAPlainVectorThroughRandomChanges) {
    const char* times[] = {"", "08:00", "09:30", "10:00", "10:00", "11:15", "9:00"};
    std::vector<std::string> model;
    std::mt19937 rng(7);
    for (int step = 0; step < test::randomSteps(400); ++step) {
        SCOPED_TRACE(step);
        const auto n = model.size();
        const auto k = static_cast<std::int32_t>(n ? rng() % n : 0);
        const unsigned op = rng() % 6;
        if (n >= 2 && op < 2) {
            list.remove(k);
            model.erase(model.begin() + k);
        } else if (n >= 2 && op == 2) {
            model[k] = times[(k == 0) + rng() % (std::size(times) - (k == 0))]; // no blank first
            grid.setRow(2 * k);
            grid.setCol(0);
            grid.setText(fromUtf8(model[k]));
            list.recountTimeOrder();
        } else {
            const std::string t = times[rng() % std::size(times)];
            list.insert(fromUtf8(t), u"");
            if (model.empty())
                model.push_back(t);
            else if (model[0].empty()) // a blank first time is written over
                model[0] = t;
            else
                model.insert(std::ranges::find_if(model, [&](auto& m) { return m > t; }), t);
        }
        std::int32_t breaks = 0;
        for (std::size_t i = 1; i < model.size(); ++i)
            breaks += model[i - 1] > model[i];
        ASSERT_EQ(list.timeOrderBreaks(), breaks);
        ASSERT_EQ(list.count(), model == Rows{""} ? 0 : static_cast<std::int32_t>(model.size()));
        for (std::size_t k = 0; k < model.size(); ++k)
            ASSERT_EQ(toUtf8(grid.textMatrix(static_cast<std::int32_t>(2 * k), 0)), model[k]);
    }
}

TEST_F(AnnotationListTest, ReadersRemovalsAndClearingLeaveTheCurrentCellAndThePlaceholder) {
    EXPECT_TRUE(list.count() == 0 && list.showsPlaceholder());
    add({{"10:00", "a"}, {"11:00", "b"}, {"12:00", "c"}});
    EXPECT_FALSE(list.showsPlaceholder());
    for (std::int32_t bad : {-1, 3}) { // nothing removed
        EXPECT_THROW(list.remove(bad), ControlError) << bad;
        EXPECT_EQ(list.count(), 3) << bad;
    }
    list.remove(0);
    EXPECT_EQ(rows(), (Rows{"11:00 b", "12:00 c"}));
    // Readers put the current cell back; notes are stored cleaned.
    grid.setRow(3);
    grid.setCol(1);
    grid.setText(u"l'a + b");
    grid.setRow(0);
    const Str read[] = {list.time(1), list.description(0), list.notes(1), grid.textMatrix(3, 1)};
    EXPECT_EQ(std::vector<Str>(std::begin(read), std::end(read)),
              (std::vector<Str>{u"12:00", u"b", u"l`a  b", u"l`a  b"}));
    EXPECT_EQ(std::pair(grid.row(), grid.col()), std::pair(0, 1));
    list.clear();
    EXPECT_EQ(rows(), (Rows{" "}));
    EXPECT_TRUE(list.count() == 0 && list.showsPlaceholder());
    EXPECT_EQ(list.insert(u"13:00", u"d"), 0); // written over the placeholder's rows
    EXPECT_EQ(std::pair(grid.rows(), list.count()), std::pair(2, 1));
}

// Each case is a sequence of openings, closings, emptied lists and failed selections.
TEST(NotesEditorState, EmptiedListsAndFailedSelectionsHoldUntilTheNextOpening) {
    using Step = void (NotesEditorState::*)();
    const Step Open = &NotesEditorState::opened, Close = &NotesEditorState::closed,
               ListEmptied = &NotesEditorState::closedByList,
               SelectionFailed = &NotesEditorState::selectionFailed;
    const struct {
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
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        NotesEditorState state;
        for (Step step : tc.steps)
            (state.*step)();
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
