// The in-place editor: read-only editing, the focus-loss commit (incl. its 16-bit overflow),
// Enter in each entry style, the add prompt's trimming, and the rename button (its focus, what it
// leaves alone, its 16-bit overflow).
#include "test_support.h"

namespace dalmure {
namespace {

using platform::ButtonId;
using test::s;
using test::u;

class EditorTest : public test::ControlTest {
  protected:
    void SetUp() override {
        startSized();
        dialogs.dialogLog = &h.events.names;
        h.platform->setHappeningSink(&dialogs);
        h.add({{"10:00:00", "opening"}, {"10:30:00", "witness"}});
        ASSERT_TRUE(h.platform->userClick(0, 1));
        h.events.names.clear();
    }
    DalmurePrivate& c() { return h.c(); }
    std::vector<std::string>& events() { return h.events.names; }
    std::pair<std::int32_t, std::int32_t> cell() { return {h.grid().row(), h.grid().col()}; }
    test::RecordingHappenings dialogs;
};

TEST_F(EditorTest, FocusLossCommitsOnlyAChangedTextOfASelectedAnnotation) {
    // Unchanged, and changed back to what it was: nothing.
    h.platform->userBlur();
    ASSERT_TRUE(h.platform->userClick(0, 0));
    h.platform->userType(u("x\b"));
    h.platform->userBlur();
    EXPECT_TRUE(events().empty());

    // A selection past the 16-bit data rows: the overflow is logged and nothing is written.
    ASSERT_TRUE(h.platform->userClick(2, 0));
    h.platform->userType(u("far"));
    DalmureTestAccess::setSelected(c(), 16384);
    h.grid().setRow(0);
    h.grid().setCol(0);
    h.platform->userBlur();
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(h.cell(3, 1), "");
    EXPECT_EQ(cell(), std::pair(0, 1)); // moved to column 1 before it worked out the data row
    EXPECT_EQ(test::logged(h.app), "errDalmure_Text1_LostFocus 6 Overflow\n");

    // The commit leaves the grid's current cell where it was.
    ASSERT_TRUE(h.platform->userClick(2, 0));
    h.platform->userType(u("!"));
    h.grid().setRow(0);
    h.grid().setCol(0);
    h.platform->userBlur();
    EXPECT_EQ(h.cell(3, 1), "!");
    EXPECT_EQ(cell(), std::pair(0, 0));
    EXPECT_EQ(events(), (std::vector<std::string>{"AnnoModified(1)"}));
}

TEST_F(EditorTest, EnterTypesALineBreakOutsideStyleTwoAndTheRowGrows) {
    for (std::int16_t style : {0, 1, 3}) {
        c().PVStyle = style;
        ASSERT_TRUE(h.platform->userClick(2, 1));
        h.platform->userType(u("\rtwo\rthree"));
        EXPECT_EQ(s(h.editor().text()), "\r\ntwo\r\nthree") << style;
        EXPECT_EQ(h.grid().rowHeight(3), 3 * 200 + 45) << style; // three lines of 200 twips
        h.platform->userType(u("\b\b\b\b\b\b\b\b\b\b\b\b"));
    }
    EXPECT_TRUE(dialogs.prompts.empty());
}

TEST_F(EditorTest, StyleTwoEnterRaisesAnnoAddedAfterTheAddAndCommitsTheNotesOnce) {
    c().PVStyle = 2;
    h.platform->userType(u("first notes"));
    h.platform->queueAnswer(u("verdict"));
    std::int16_t countWhenAdded = 0;
    h.events.onAdded = [&](Str&, Str&) { countWhenAdded = c().AnnoCount(); };
    h.platform->userType(u("\r"));
    EXPECT_EQ(countWhenAdded, 3);
    EXPECT_EQ(h.grid().row(), 5);
    // Neither the add nor the next focus loss writes the notes again.
    h.platform->userBlur();
    EXPECT_EQ(events(), (std::vector<std::string>{"AnnoModified(0)", "prompt(verdict)",
                                                  "AnnoAdded(14:05:09,verdict)"}));
    // The prompt's answer: only char 32 is trimmed, and fifty characters pass without a message.
    h.platform->userFocus();
    for (const std::string& answer : {std::string("\u00a0x&y "), std::string(50, 'e')}) {
        h.platform->queueAnswer(u(answer));
        h.platform->userType(u("\r"));
    }
    EXPECT_EQ(s(c().AnnoDesc(3)) + "|" + s(c().AnnoDesc(4)), "\u00a0xy|" + std::string(50, 'e'));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(EditorTest, ReadOnlyModesDiscardEveryKeyButTheStyleTwoEnter) {
    for (int mode : {0, 1}) {
        auto readOnly = [&](bool on) { mode == 0 ? c().NoModif(on) : c().NoPV(on); };
        readOnly(true);
        ASSERT_TRUE(h.platform->userClick(2, 0));
        EXPECT_TRUE(h.editor().visible() && h.editor().readOnly());
        h.platform->userType(u("abc\x1b\r"));
        EXPECT_TRUE(h.editor().visible()) << "Esc is discarded too";
        EXPECT_EQ(s(h.editor().text()), "");
        EXPECT_EQ(h.grid().cellBackColorAt(2, 0), h.grid().backColorFixed()); // still selected
        c().PVStyle = 2;
        h.platform->queueAnswer(mode == 0 ? u("ruling") : u("recess"));
        h.platform->userType(u("\r"));
        c().PVStyle = 0;
        readOnly(false);
    }
    EXPECT_EQ(c().AnnoCount(), 4);
    EXPECT_EQ(events(), (std::vector<std::string>{"prompt(ruling)", "AnnoAdded(14:05:09,ruling)",
                                                  "prompt(recess)", "AnnoAdded(14:05:09,recess)"}));
    // Back to editable: the editor's read-only state is decided when it gets the focus.
    ASSERT_TRUE(h.platform->userClick(0, 0));
    EXPECT_FALSE(h.editor().readOnly());
    EXPECT_EQ(h.platform->userType(u("ok")), 2);
    EXPECT_EQ(s(h.editor().text()), "ok");
}

TEST_F(EditorTest, RenameCommitsTheNotesFirstLeavesTheSelectionAloneAndNeedsOne) {
    ASSERT_TRUE(h.platform->userClick(2, 0));
    h.platform->userType(u("typed"));
    events().clear();
    h.platform->queueAnswer(u("witness"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::Rename));
    // The button took the focus first, committing the typed notes.
    EXPECT_EQ(events(), (std::vector<std::string>{"AnnoModified(1)", "prompt(witness)",
                                                  "AnnoModifiedDesc(1,witness,witness)"}));
    EXPECT_EQ(c().Selected(), 1);
    EXPECT_EQ(cell(), std::pair(2, 1));
    EXPECT_EQ(h.grid().cellBackColorAt(3, 1), h.grid().backColorFixed());
    EXPECT_EQ(s(c().AnnoData(1)), "typed");

    // The host's NewDesc alone changes nothing (the scenario's host cancels as it sets it).
    h.events.onModifiedDesc = [](std::int16_t&, Str& oldDesc, Str& newDesc, bool&) {
        oldDesc = newDesc = u("ignored");
    };
    h.platform->queueAnswer(u("final"));
    ASSERT_TRUE(h.platform->userButton(ButtonId::Rename));
    EXPECT_EQ(s(c().AnnoDesc(1)), "final");
    // Without a selection nothing is asked; past the 16-bit rows the overflow is logged.
    events().clear();
    for (std::int16_t selected : {-1, 16384}) {
        DalmureTestAccess::setSelected(c(), selected);
        ASSERT_TRUE(h.platform->userButton(ButtonId::Rename));
    }
    EXPECT_EQ(dialogs.prompts.size(), 2u);
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(logged(h.app), "errDalmure_CWButton4_Click 6 Overflow\n");
}

} // namespace
} // namespace dalmure
