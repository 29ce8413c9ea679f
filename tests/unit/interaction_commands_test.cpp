// The rename button: its focus, what it leaves alone, its 16-bit overflow. The delete request, the
// rename prompt's texts, the host's cancel and the notes taking the keys again after a button are
// played by the annodelete, rename and view-print scenarios, the entry-style pair by style2-enter.
#include "test_support.h"

#include <gtest/gtest.h>

namespace dalmure {
namespace {

using platform::ButtonId;
using test::s;
using test::u;

class Commands : public test::ControlTest {
  protected:
    void SetUp() override {
        startSized();
        h.platform->setHappeningSink(&recorder);
        h.add({{"09:00:00", "opening"}, {"09:10:00", "witness"}, {"09:20:00", "closing"}});
        h.events.names.clear();
    }
    DalmurePrivate& c() { return h.c(); }
    std::vector<std::string>& events() { return h.events.names; }
    bool press(ButtonId id) { return h.platform->userButton(id); }
    test::RecordingHappenings recorder;
};

TEST_F(Commands, RenameCommitsTheNotesFirstAndLeavesSelectionAndEditorAlone) {
    ASSERT_TRUE(h.platform->userClick(2, 0));
    h.platform->userType(u("typed"));
    events().clear();
    h.platform->queueAnswer(u("witness"));
    ASSERT_TRUE(press(ButtonId::Rename));
    // The button took the focus first, committing the typed notes.
    EXPECT_EQ(events(),
              (std::vector<std::string>{"AnnoModified(1)", "AnnoModifiedDesc(1,witness,witness)"}));
    EXPECT_EQ(c().Selected(), 1);
    EXPECT_EQ(h.grid().row(), 2);
    EXPECT_EQ(h.grid().col(), 1);
    EXPECT_EQ(h.grid().cellBackColorAt(3, 1), h.grid().backColorFixed());
    EXPECT_EQ(s(c().AnnoData(1)), "typed");

    // The host's NewDesc alone changes nothing (the scenario's host cancels as it sets it).
    h.events.onModifiedDesc = [](std::int16_t&, Str& oldDesc, Str& newDesc, bool&) {
        oldDesc = u("ignored");
        newDesc = u("ignored");
    };
    h.platform->queueAnswer(u("final"));
    ASSERT_TRUE(press(ButtonId::Rename));
    EXPECT_EQ(s(c().AnnoDesc(1)), "final");
}

TEST_F(Commands, RenameWithoutSelectionAsksNothingAndPast16BitRowsIsLogged) {
    DalmureTestAccess::setSelected(c(), -1);
    ASSERT_TRUE(press(ButtonId::Rename));
    DalmureTestAccess::setSelected(c(), 16384);
    ASSERT_TRUE(press(ButtonId::Rename));
    EXPECT_TRUE(recorder.prompts.empty());
    EXPECT_TRUE(events().empty());
    EXPECT_EQ(logged(h.app), "errDalmure_CWButton4_Click 6 Overflow\n");
}

} // namespace
} // namespace dalmure
