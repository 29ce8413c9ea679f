// The notes editor's state: which sequences of opening, closing, an emptied list and a failed
// selection leave notes of the user's to commit, and the starting text a commit compares with.
#include "interaction/notes_editor_state.h"

#include <gtest/gtest.h>

#include <vector>

namespace dalmure {
namespace {

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
