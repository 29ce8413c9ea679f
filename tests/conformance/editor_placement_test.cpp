// A control on each platform: the notes editor lies over the notes it holds whatever happened to
// the grid, and never writes one annotation's notes into another (16-bit limit, prompts, menus).
#include "conformance.h"
#include "dalmure_test_access.h"

namespace dalmure::conformance {

template <class Kind> class ControlOnPlatform : public PlatformTest<Kind> {
  protected:
    // Enough annotations that the list scrolls.
    DalmurePrivate& startWithList(int count = 30) {
        DalmurePrivate& c = this->startControl();
        for (int i = 0; i < count; ++i)
            c.AnnoAdd(timeAt(i * 60), test::u("A" + std::to_string(i)));
        return c;
    }
    std::int32_t underEditor() { return this->user().rowUnderEditor().value_or(-1); } // -1: hidden
    int type(const char* text) { return this->user().userType(test::u(text)); }
    std::size_t clickErrors() {
        return this->app.logEntries("errDalmure_MSFlexGrid1_Click").size();
    }
    // "selected shown text" of the editor.
    std::string editorState() {
        return line(this->control().Selected(), this->editor().visible(),
                    test::s(this->editor().text()));
    }
};
TYPED_TEST_SUITE(ControlOnPlatform, Platforms, PlatformNames);

TYPED_TEST(ControlOnPlatform, StaysOverItsNotesThroughTheMinutesHostReadsAndDeletes) {
    DalmurePrivate& c = this->startWithList();
    ASSERT_TRUE(this->user().userClick(7, 1)); // annotation 3
    EXPECT_EQ(line(c.Selected(), this->underEditor()), "3 7");
    // The print command walks every row (its dialog, on a desktop, is cancelled).
    ASSERT_TRUE(this->user().userButton(platform::ButtonId::Print));
    this->user().settle();
    EXPECT_EQ(this->underEditor(), 7) << "after printing";
    this->user().userFocus();
    EXPECT_EQ(this->type("x"), 1);
    EXPECT_EQ(this->underEditor(), 7) << "after typing";
    // The host reads every annotation, as a host refreshing its own view does.
    for (int i = 0; i < c.AnnoCount(); ++i)
        (void)(c.AnnoTime(i) + c.AnnoDesc(i) + c.AnnoData(i));
    EXPECT_EQ(this->underEditor(), 7) << "after the host's reads";
    EXPECT_EQ(this->type("y"), 1);
    this->user().userBlur();
    EXPECT_EQ(line(test::s(c.AnnoData(3)), test::s(c.AnnoData(29))), "xy ");

    // The host deletes annotation 10 at the clerk's request; the next one takes its place.
    ASSERT_TRUE(this->user().userClick(21, 0));
    this->events.onDeleteRequest = [&](std::int16_t& index) {
        std::int32_t i = index;
        c.AnnoDelete(i);
    };
    ASSERT_TRUE(this->user().userButton(platform::ButtonId::Delete));
    EXPECT_EQ(line(c.Selected(), this->underEditor()), "10 21");
    this->user().userFocus();
    EXPECT_EQ(this->type("z"), 1);
    this->user().userBlur();
    EXPECT_EQ(line(test::s(c.AnnoDesc(10)), test::s(c.AnnoData(10)), test::s(c.AnnoData(3))),
              "A11 z xy");
}

TYPED_TEST(ControlOnPlatform, AReadOnlyEditorHidesWhileItsRowIsOutOfViewAndFollowsResizes) {
    DalmurePrivate& c = this->startWithList();
    bool noModif = true;
    c.NoModif(noModif);
    ASSERT_TRUE(this->user().userClick(7, 1));
    ASSERT_TRUE(this->editor().readOnly());
    ASSERT_EQ(this->underEditor(), 7);
    // Scrolling hides a read-only editor with its row and shows it again, its focus kept.
    ASSERT_TRUE(this->user().userScroll(30));
    EXPECT_FALSE(this->editor().visible());
    EXPECT_EQ(this->underEditor(), -1);
    ASSERT_TRUE(this->user().userScroll(4));
    EXPECT_TRUE(this->editor().visible() && this->editor().hasFocus());
    EXPECT_EQ(this->underEditor(), 7);
    // The container's resizes size every row again; the editor follows its own.
    this->user().userResize(6000, 5000);
    EXPECT_EQ(this->underEditor(), 7) << "narrower";
    this->user().userResize(9600, 7200);
    EXPECT_EQ(this->underEditor(), 7) << "wider";
    EXPECT_EQ(test::s(this->editor().text()), "");
}

// Annotation 16,383 is the last that a 16-bit index can select through its notes row.
TYPED_TEST(ControlOnPlatform, ASelectionPastTheIndexLimitClosesTheEditorWithoutACommit) {
    DalmurePrivate& c = this->startControl();
    bool refresh = false;
    c.AllowRefreshPV(refresh);
    for (int i = 0; i < 16383; ++i)
        c.AnnoAdd(timeAt(i), test::u("A"));
    c.AllowRefreshPV();
    ASSERT_EQ(c.Selected(), 16382);
    ASSERT_EQ(this->type("a"), 1);

    // One more add: the typed notes reach their annotation, then the new selection overflows.
    this->events.names.clear();
    c.AnnoAdd(timeAt(16383), test::u("last"));
    EXPECT_EQ(this->events.names, Log{"AnnoModified(16382)"});
    EXPECT_EQ(this->editorState(), "-1 0 a");
    EXPECT_EQ(this->clickErrors(), 1u);
    c.AllowRefreshPV(); // the failed selection left the grid hidden; the host shows it

    // The list has the keyboard: a key typed there tries the selection again, and fails.
    EXPECT_EQ(this->type("b"), 1);
    EXPECT_EQ(line(this->clickErrors(), c.Selected()), "2 -1");
    c.AllowRefreshPV();
    // The commands act on no annotation: no delete request, no rename prompt, no play.
    this->events.names.clear();
    EXPECT_TRUE(this->user().userButton(platform::ButtonId::Delete));
    EXPECT_TRUE(this->user().userButton(platform::ButtonId::Rename));
    EXPECT_TRUE(this->user().userButton(platform::ButtonId::Play));
    EXPECT_TRUE(this->happenings.prompts.empty());

    // Whatever the clerk types now, and the focus leaving, write nothing into 16382.
    this->user().userFocus();
    (void)this->type("c");
    this->user().userBlur();
    EXPECT_EQ(line(test::s(c.AnnoData(16382)), test::s(c.AnnoData(16383))), "a ");
    EXPECT_EQ(this->events.names, Log{});

    // A click on the overflowing notes row fails the same way and keeps the editor closed.
    const auto failures = this->clickErrors();
    ASSERT_TRUE(this->user().userClick(32767, 1));
    EXPECT_EQ(this->clickErrors(), failures + 1);
    EXPECT_FALSE(this->editor().visible());
    (void)this->type("d");
    this->user().userBlur();
    EXPECT_EQ(test::s(c.AnnoData(16382)), "a");
    c.AllowRefreshPV();

    // A selection that succeeds opens it again, on its own annotation.
    ASSERT_TRUE(this->user().userClick(32765, 1));
    EXPECT_EQ(this->editorState(), "16382 1 a");
    EXPECT_EQ(this->type("e"), 1);
    this->user().userBlur();
    EXPECT_EQ(line(test::s(c.AnnoData(16382)), test::s(c.AnnoData(16383))), "ae ");
}

// A delete whose main row overflows 16 bits stops before it touches the list or the notes.
TYPED_TEST(ControlOnPlatform, ADeleteWhoseMainRowOverflowsLeavesTheEditorAsItWas) {
    DalmurePrivate& c = this->startWithList(3);
    ASSERT_TRUE(this->user().userClick(3, 1));
    ASSERT_EQ(this->type("abc"), 3);
    this->events.onDeleteRequest = [&](std::int16_t& index) {
        index = 20000; // the argument is the selection itself
        std::int32_t i = index;
        c.AnnoDelete(i);
        EXPECT_EQ(i, 20000);
    };
    ASSERT_TRUE(this->user().userButton(platform::ButtonId::Delete));
    EXPECT_EQ(this->app.logEntries("errDalmure_AnnoDelete").size(), 1u);
    EXPECT_EQ(line(c.AnnoCount(), this->underEditor(), test::s(c.AnnoData(1))), "3 3 abc");
    EXPECT_EQ(this->editorState(), "20000 1 abc");
}

TYPED_TEST(ControlOnPlatform, RightClickMenuActsOnTheAnnotationUnderTheMouse) {
    DalmurePrivate& c = this->startControl();
    ASSERT_TRUE(this->user().userRightClick(0, 1, std::nullopt)); // the empty list: no selection
    EXPECT_EQ(line(c.Selected(), this->happenings.only("menu").size(), this->editor().visible()),
              "-1 1 0");
    for (const char* desc : {"A", "B", "C"})
        c.AnnoAdd(test::u("09:00:00"), test::u(desc));
    ASSERT_TRUE(this->user().userClick(1, 1));
    ASSERT_EQ(this->user().userType(test::u("for A")), 5);
    // Rename, chosen on B's main row: the prompt offers B's description.
    this->events.names.clear();
    this->user().queueAnswer(test::u("B2"));
    ASSERT_TRUE(this->user().userRightClick(2, 1, std::string("mnuPopupRenommer")));
    ASSERT_EQ(this->happenings.prompts.size(), 1u);
    EXPECT_EQ(line(c.Selected(), this->happenings.prompts[0].defaultText), "1 B");
    EXPECT_EQ(this->events.names, (Log{"AnnoModified(0)", "AnnoModifiedDesc(1,B,B2)"}));
    EXPECT_EQ(line(test::s(c.AnnoDesc(0)), test::s(c.AnnoData(0))), "A for A");
    // Delete, chosen on C's notes row: the request names C; the editor is open on C's notes.
    this->events.names.clear();
    ASSERT_TRUE(this->user().userRightClick(5, 0, std::string("mnuPopupSupprimer")));
    EXPECT_EQ(this->events.names, Log{"AnnoDeleteRequest(2)"});
    EXPECT_EQ(this->user().rowUnderEditor(), 5);
    EXPECT_EQ(this->user().userType(test::u("for C")), 5);
    this->user().userBlur();
    EXPECT_EQ(line(test::s(c.AnnoData(2)), test::s(c.AnnoData(1))), "for C ");
    // A right click that chooses nothing still selects.
    ASSERT_TRUE(this->user().userRightClick(0, 0, std::nullopt));
    EXPECT_EQ(line(c.Selected(), test::s(this->editor().text())), "0 for A");
}

TYPED_TEST(ControlOnPlatform, TypingAfterACancelledPromptReachesTheNote) {
    DalmurePrivate& c = this->startControl();
    c.PVStyle = 2;
    c.AnnoAdd(test::u("10:00:00"), test::u("A"));
    EXPECT_EQ(this->user().userType(u"abc"), 3);
    this->user().queueCancel();
    // Enter commits and prompts; the cancelled prompt reopens the editor on the same note.
    EXPECT_EQ(this->user().userType(u"\rd"), 2);
    EXPECT_EQ(test::s(DalmureTestAccess::strEditStart(c)), "abc");
    EXPECT_EQ(this->events.names, Log{"AnnoModified(0)"});
    this->user().userBlur();
    EXPECT_EQ(this->events.names, (Log{"AnnoModified(0)", "AnnoModified(0)"}));
    EXPECT_EQ(test::s(c.AnnoData(0)), "abcd");
}

TYPED_TEST(ControlOnPlatform, AHostsDataTextComesBackExactlyAsGiven) {
    DalmurePrivate& c = this->startControl();
    Str time = test::u("10:02:00"), desc = test::u("Three"), data = u"c\nd\re";
    c.AnnoAdd(time, desc, data);
    EXPECT_EQ(this->editor().text(), u"c\nd\re");
    // The caret is after it: the clerk's line break is CR LF; the host's stay as they were.
    EXPECT_EQ(this->user().userType(u"\rf"), 2);
    this->user().userBlur();
    EXPECT_EQ(c.AnnoData(0), u"c\nd\re\r\nf");
}

} // namespace dalmure::conformance
