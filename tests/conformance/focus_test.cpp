// Who has the focus on each platform, and the notifications its moves run: the user's clicks,
// keys, buttons and blur take it from the editor before their own notifications; prompts and
// menus leave it, and its return is no new opening of the editor, so that notes typed after a
// prompt or a menu reach the annotation they were typed for.
#include "conformance.h"
#include "dalmure_test_access.h"

#include <functional>
#include <utility>

namespace dalmure::conformance {

using platform::ButtonId;

template <class Kind> using FocusOnPlatform = LoggedPlatformTest<Kind>;
TYPED_TEST_SUITE(FocusOnPlatform, Platforms, PlatformNames);

TYPED_TEST(FocusOnPlatform, UserActionsTakeTheFocusBeforeTheirOwnNotifications) {
    auto& user = this->user();
    const std::pair<std::function<void()>, Log> cases[] = {
        {[&] { EXPECT_TRUE(user.userClick(1, 1)); }, {"lost", "leave", "click"}},
        {[&] { EXPECT_TRUE(user.userButton(ButtonId::Rename)); }, {"lost", "button CWButton4"}},
        {[&] { user.userKeyPress(13); }, {"lost", "gridkey 13"}},
        {[&] { user.userBlur(), user.userBlur(); }, {"lost"}}, // nothing more to lose
    };
    for (const auto& [act, log] : cases) {
        SCOPED_TRACE(log.back());
        this->openEditor();
        act();
        EXPECT_EQ(this->rec->log, log);
        EXPECT_FALSE(this->editor().hasFocus());
    }
    // A hidden button is refused and moves no focus.
    this->openEditor();
    this->platform().button(ButtonId::Delete).setVisible(false);
    EXPECT_FALSE(user.userButton(ButtonId::Delete));
    EXPECT_TRUE(this->rec->log.empty() && this->editor().hasFocus());
}

TYPED_TEST(FocusOnPlatform, PromptsAndMenusLeaveTheFocusAndItsReturnIsNoNewOpening) {
    this->openEditor();
    this->user().queueCancel();
    this->platform().dialogs().inputBox(u"Message", u"Orvane", u"");
    this->platform().dialogs().messageBox(u"Message", u"Orvane");
    this->platform().menu().popup(true);
    EXPECT_TRUE(this->editor().hasFocus());
    // Keys go on into the editor; no focus notification comes late.
    EXPECT_EQ(this->user().userType(u"a"), 1);
    // A right click takes the focus before its menu opens; the container entering the control
    // afterwards is told to the control, which decides what gets the focus.
    EXPECT_TRUE(this->user().userRightClick(0, 0, std::nullopt));
    this->user().userFocus();
    EXPECT_EQ(this->rec->log,
              (Log{"down 65", "press 97", "change a", "up 65", "lost", "mouseup 2", "enter"}));
}

// The same, with the control handling the notifications.
template <class Kind> using NotesOnPlatform = PlatformTest<Kind>;
TYPED_TEST_SUITE(NotesOnPlatform, Platforms, PlatformNames);

TYPED_TEST(NotesOnPlatform, TypingAfterACancelledPromptReachesTheNote) {
    DalmurePrivate& c = this->startControl();
    c.PVStyle = 2;
    c.AnnoAdd(test::u("10:00:00"), test::u("A"));
    EXPECT_EQ(this->user().userType(u"abc"), 3);
    this->user().queueCancel();
    // Enter commits and asks for the next annotation; the cancelled prompt re-opens the editor
    // on the same note, and what follows is typed into it.
    EXPECT_EQ(this->user().userType(u"\rd"), 2);
    EXPECT_EQ(test::s(DalmureTestAccess::strEditStart(c)), "abc");
    EXPECT_EQ(this->events.names, Log{"AnnoModified(0)"});
    this->user().userBlur();
    EXPECT_EQ(this->events.names, (Log{"AnnoModified(0)", "AnnoModified(0)"}));
    EXPECT_EQ(test::s(c.AnnoData(0)), "abcd");
}

TYPED_TEST(NotesOnPlatform, AHostsDataTextComesBackExactlyAsGiven) {
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
