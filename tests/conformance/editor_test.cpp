// The notes editor's text box on each platform under the user's keys: notifications in order,
// keys at the caret, handlers that discard or replace a key, line breaks kept exactly as set;
// and the focus: taken before the notifications of clicks, keys and buttons, left by prompts.
#include "conformance.h"
#include "support/errors.h"

#include <utility>

namespace dalmure::conformance {

using platform::ButtonId;

template <class Kind> class TextBoxOnPlatform : public LoggedPlatformTest<Kind> {
  protected:
    int type(const Str& text) { return this->user().userType(text); }
    Str text() { return this->editor().text(); }
    // The text, then the caret after typing keys at caret `at`.
    std::pair<Str, std::int32_t> typeAt(std::int32_t at, const Str& keys) {
        this->editor().setSelStart(at);
        this->type(keys);
        return {text(), this->editor().selStart()};
    }
};
TYPED_TEST_SUITE(TextBoxOnPlatform, Platforms, PlatformNames);

TYPED_TEST(TextBoxOnPlatform, KeysGoDownCharacterUpAndActAtTheCaret) {
    this->openEditor(u"ad");
    this->editor().setSelStart(1);
    EXPECT_EQ(this->type(u"Bc"), 2);
    EXPECT_EQ(this->rec->log, (Log{"down 66+shift", "press 66", "change aBd", "up 66", "down 67",
                                   "press 99", "change aBcd", "up 67"}));
    EXPECT_EQ(this->editor().selStart(), 3);
    // Enter types CR LF; Backspace takes the pair back as one.
    EXPECT_EQ(this->type(u"\r\b\r"), 3);
    EXPECT_EQ(std::pair(this->text(), this->editor().selStart()), std::pair(Str(u"aBc\r\nd"), 5));
    // Esc types nothing; Backspace at the start removes nothing and changes nothing.
    this->rec->log.clear();
    EXPECT_EQ(this->type(u"\x1b"), 1);
    EXPECT_EQ(this->typeAt(0, u"\b"), std::pair(Str(u"aBc\r\nd"), 0));
    EXPECT_EQ(this->rec->log, (Log{"down 27", "press 27", "up 27", "down 8", "press 8", "up 8"}));
}

TYPED_TEST(TextBoxOnPlatform, TextKeepsItsLineBreaksExactlyUntilTheUserEditsThem) {
    // A host's lone LF and lone CR come back as they were given, also after typing elsewhere.
    this->openEditor(u"c\nd\re");
    EXPECT_EQ(this->text(), u"c\nd\re");
    EXPECT_EQ(this->type(u"f"), 1);
    EXPECT_EQ(this->text(), u"c\nd\ref");
    // Enter types a CR LF of its own, which Backspace removes; a lone LF goes alone.
    EXPECT_EQ(this->typeAt(3, u"\r"), std::pair(Str(u"c\nd\r\n\ref"), 5));
    EXPECT_EQ(this->typeAt(5, u"\b"), std::pair(Str(u"c\nd\ref"), 3));
    EXPECT_EQ(this->typeAt(2, u"\b"), std::pair(Str(u"cd\ref"), 1));
}

TYPED_TEST(TextBoxOnPlatform, HandlersDiscardAtKeyDownOrKeyPressAndReadOnlyTypesNothing) {
    this->openEditor();
    this->rec->onKeyDown = [](std::int16_t& k) { k = k == 'X' ? 0 : k; };
    this->rec->onKeyPress = [](std::int16_t& k) { k = k == '+' ? 0 : k == '\'' ? '`' : k; };
    EXPECT_EQ(this->type(u"a+'xb"), 5);
    EXPECT_EQ(this->text(), u"a`b");
    // A key discarded as it goes down still reports its character, which then types nothing.
    this->rec->log.clear();
    this->type(u"x");
    EXPECT_EQ(this->rec->log, (Log{"down 88", "press 120", "up 88"}));
    this->editor().setReadOnly(true);
    EXPECT_EQ(this->type(u"z\r\b"), 3); // delivered, not acted on
    EXPECT_EQ(this->text(), u"a`b");
    EXPECT_EQ(this->rec->log, (Log{"down 88", "press 120", "up 88", "down 90", "press 122", "up 90",
                                   "down 13", "press 13", "up 13", "down 8", "press 8", "up 8"}));
    // Hidden with the focus, the editor gives it to the grid, whose key the next one is.
    this->editor().setReadOnly(false);
    this->rec->log.clear();
    this->editor().setVisible(false);
    EXPECT_FALSE(this->editor().hasFocus());
    EXPECT_EQ(this->type(u"q"), 1);
    EXPECT_EQ(this->rec->log, (Log{"lost", "gridkey 113"}));
    // With the focus elsewhere in the window, keys reach neither.
    this->editor().setVisible(true);
    this->user().userBlur();
    EXPECT_EQ(this->type(u"q"), 0);
    EXPECT_EQ(this->text(), u"a`b");
}

TYPED_TEST(TextBoxOnPlatform, TextAndCaretFromCodeAndTheFocusGivenByCode) {
    this->openEditor(u"abc");
    this->editor().setText(u"abc"); // the same text: no change, the caret to the start
    EXPECT_TRUE(this->rec->log.empty());
    EXPECT_EQ(this->editor().selStart(), 0);
    this->editor().setText(u"x\ny");
    EXPECT_EQ(this->editor().selStart(), 0);
    this->editor().setSelStart(99);
    EXPECT_EQ(this->editor().selStart(), 3);
    EXPECT_EQ(this->typeAt(2, u"z"), std::pair(Str(u"x\nzy"), 3)); // after the LF
    EXPECT_THROW(this->editor().setSelStart(-1), ControlError);
    // Focus given by code runs the focus-gained notification every time.
    this->editor().setFocus();
    EXPECT_EQ(this->rec->log,
              (Log{"change x\ny", "down 90", "press 122", "change x\nzy", "up 90", "got"}));
    // A hidden editor, or one in a hidden frame, cannot take the focus.
    this->editor().setVisible(false);
    EXPECT_EQ(errorNumber([this] { this->editor().setFocus(); }), errors::kInvalidProcedureCall);
    this->editor().setVisible(true);
    this->platform().frame(platform::FrameId::Frame3).setVisible(false);
    EXPECT_THROW(this->editor().setFocus(), ControlError);
}

TYPED_TEST(TextBoxOnPlatform, ARangeReplacedByTheControlIsAnEditAtTheCaretAndClearsTheMarks) {
    using Ranges = std::vector<platform::TextBox::Range>;
    this->openEditor(u"le tem\r\nvu");
    this->editor().setSelStart(6);
    // Marks outside the text, empty or overlapping are not kept.
    this->editor().setMarkedRanges({{0, 2}, {1, 3}, {3, 0}, {8, 2}, {9, 5}});
    EXPECT_EQ(this->editor().markedRanges(), (Ranges{{0, 2}, {8, 2}}));
    // An abbreviation replaced: one change notified, the caret after it, the marks gone.
    this->editor().replaceRange(3, 6, u"t\u00e9moin");
    EXPECT_EQ(std::pair(this->text(), this->editor().selStart()),
              std::pair(Str(u"le t\u00e9moin\r\nvu"), 9));
    EXPECT_EQ(this->editor().selLength(), 0);
    EXPECT_EQ(this->rec->log, (Log{"change le t\xC3\xA9moin\r\nvu"}));
    EXPECT_EQ(this->editor().markedRanges(), Ranges{});
    // Typing goes on at the caret; marks after a line break are cleared by the user's own edit.
    this->type(u"s");
    EXPECT_EQ(this->text(), u"le t\u00e9moins\r\nvu");
    this->editor().setMarkedRanges({{12, 2}});
    EXPECT_EQ(this->editor().markedRanges().size(), 1u);
    this->type(u"\b");
    EXPECT_EQ(this->editor().markedRanges(), Ranges{});
}

TYPED_TEST(TextBoxOnPlatform, UserActionsTakeTheFocusBeforeTheirOwnNotifications) {
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

TYPED_TEST(TextBoxOnPlatform, PromptsAndMenusLeaveTheFocusAndItsReturnIsNoNewOpening) {
    this->openEditor();
    this->user().queueCancel();
    this->platform().dialogs().inputBox(u"Message", u"Orvane", u"");
    this->platform().dialogs().messageBox(u"Message", u"Orvane");
    this->platform().menu().popup(true);
    EXPECT_TRUE(this->editor().hasFocus());
    // Keys go on into the editor; no focus notification comes late.
    EXPECT_EQ(this->user().userType(u"a"), 1);
    // A right click takes the focus before its menu; the container's return is told as enter.
    EXPECT_TRUE(this->user().userRightClick(0, 0, std::nullopt));
    this->user().userFocus();
    EXPECT_EQ(this->rec->log,
              (Log{"down 65", "press 97", "change a", "up 65", "lost", "mouseup 2", "enter"}));
}

} // namespace dalmure::conformance
