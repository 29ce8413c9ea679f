// Who has the focus on each platform, and the notifications its moves run: the user's clicks,
// keys, buttons and blur take it from the editor before their own notifications; prompts and
// menus leave it, and its return is no new opening of the editor, so that notes typed after a
// prompt or a menu reach the annotation they were typed for.
#include "conformance.h"
#include "dalmure_test_access.h"
#include "notification_log.h"

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
        {[&] { user.userBlur(), user.userBlur(); },
         {"lost"}}, // nothing more to lose the second time
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
    EXPECT_TRUE(this->rec->log.empty());
    EXPECT_TRUE(this->editor().hasFocus());
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
    EXPECT_EQ(this->rec->log, (Log{"down 65", "press 97", "change a", "up 65"}));
    // A right click takes the focus before its menu opens; the container entering the control
    // afterwards is told to the control, which decides what gets the focus.
    this->rec->log.clear();
    EXPECT_TRUE(this->user().userRightClick(0, 0, std::nullopt));
    EXPECT_EQ(this->rec->log, (Log{"lost", "mouseup 2"}));
    this->rec->log.clear();
    this->user().userFocus();
    EXPECT_EQ(this->rec->log, (Log{"enter"}));
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
    EXPECT_EQ(this->events.names, (std::vector<std::string>{"AnnoModified(0)"}));
    this->user().userBlur();
    EXPECT_EQ(this->events.names, (std::vector<std::string>{"AnnoModified(0)", "AnnoModified(0)"}));
    EXPECT_EQ(test::s(c.AnnoData(0)), "abcd");
}

TYPED_TEST(NotesOnPlatform, TypingAfterADismissedMenuReachesTheNote) {
    DalmurePrivate& c = this->startControl();
    c.AnnoAdd(test::u("10:00:00"), test::u("A"));
    c.AnnoAdd(test::u("10:05:00"), test::u("B"));
    auto& user = this->user();
    this->events.names.clear();
    EXPECT_TRUE(user.userClick(0, 1));
    EXPECT_EQ(user.userType(u"x"), 1);
    EXPECT_TRUE(user.userClick(2, 1));
    EXPECT_EQ(test::s(c.AnnoData(0)), "x");
    EXPECT_TRUE(user.userRightClick(0, 0, std::nullopt));
    user.userFocus();
    EXPECT_EQ(user.userType(u"y"), 1);
    EXPECT_TRUE(user.userClick(1, 1));
    // The right click selected annotation 0: the notes typed after it are annotation 0's.
    EXPECT_EQ(this->events.names, (std::vector<std::string>{"AnnoModified(0)", "AnnoModified(0)"}));
    EXPECT_EQ(test::s(c.AnnoData(0)), "xy");
}

TYPED_TEST(NotesOnPlatform, AHostsDataTextComesBackExactlyAsGiven) {
    DalmurePrivate& c = this->startControl();
    Str time = test::u("10:02:00"), desc = test::u("Three"), data = u"c\nd\re";
    c.AnnoAdd(time, desc, data);
    EXPECT_EQ(this->editor().text(), u"c\nd\re");
    this->user().userBlur();
    EXPECT_EQ(c.AnnoData(0), u"c\nd\re");
    // Typed at the end, the clerk's own line break is CR LF; the host's stay as they were.
    EXPECT_TRUE(this->user().userClick(1, 1));
    EXPECT_EQ(this->user().userType(u"\rf"), 2);
    this->user().userBlur();
    EXPECT_EQ(c.AnnoData(0), u"c\nd\re\r\nf");
}

// Keys always reach the note they were typed for: a hidden editor gives the focus to the grid,
// and a character key on the grid opens the editor and is typed into it.
TYPED_TEST(NotesOnPlatform, KeysAfterEscAScrollOrADoubleClickReachTheNote) {
    DalmurePrivate& c = this->startControl();
    c.AnnoAdd(test::u("10:00:00"), test::u("A"));
    c.AnnoAdd(test::u("10:05:00"), test::u("B"));
    c.AnnoAdd(test::u("10:10:00"), test::u("C"));
    auto& user = this->user();
    using Names = std::vector<std::string>;

    // Esc, or the user's scroll, hides the editor: its focus loss commits, and what follows
    // re-opens the same note.
    const std::pair<std::function<void()>, int> closings[] = {
        {[&] { EXPECT_EQ(user.userType(u"\x1b"), 1); }, 0},
        {[&] { EXPECT_TRUE(user.userScroll(std::nullopt)); }, 1},
    };
    for (const auto& [close, k] : closings) {
        SCOPED_TRACE(k);
        const std::string modified = "AnnoModified(" + std::to_string(k) + ")";
        this->events.names.clear();
        EXPECT_TRUE(user.userClick(2 * k + 1, 1));
        EXPECT_EQ(user.userType(u" un"), 3);
        close();
        EXPECT_FALSE(this->editor().visible());
        EXPECT_FALSE(this->editor().hasFocus());
        EXPECT_EQ(this->events.names, (Names{modified}));
        EXPECT_EQ(test::s(c.AnnoData(k)), " un");
        EXPECT_EQ(user.userType(u" deux"), 5);
        EXPECT_TRUE(this->editor().visible());
        EXPECT_TRUE(user.userClick(3, 1));
        EXPECT_EQ(this->events.names, (Names{modified, modified}));
        EXPECT_EQ(test::s(c.AnnoData(k)), " un deux");
    }

    // After a double click every key of the note arrives, the first one too.
    EXPECT_TRUE(user.userDblClick(4, 1));
    EXPECT_EQ(user.userType(u"Wxy"), 3);
    user.userBlur();
    EXPECT_EQ(test::s(c.AnnoData(2)), "Wxy");
    EXPECT_EQ(this->events.names.back(), "AnnoModified(2)");
}

} // namespace dalmure::conformance
