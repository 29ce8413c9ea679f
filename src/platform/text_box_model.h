// The in-place editor's keystroke and focus pipeline, free of any toolkit. Every platform uses
// it: the in-memory platform as its editor, a toolkit's text box as a view that shows the
// model's text and feeds it raw input (keys, composed text, edits the view makes itself, focus
// moves). What the control sees of the editor (its text, caret, notifications and their order)
// is decided here, once.
//
// The text is held exactly as it was set: a host's lone LF stays a lone LF until the clerk edits
// that spot. Positions (the caret, a selection, an edit's range) count UTF-16 units of that text.
#pragma once

#include "platform/notifications.h"
#include "platform/placement.h"
#include "platform/surface.h"
#include "platform/text_box.h"

#include <cstdint>
#include <functional>

namespace dalmure::platform {

// A toolkit's view of the model: told after each change, so that it shows the model as it is.
// Changes the view reported itself (its own edits and caret moves) are not told back.
class TextBoxView {
  public:
    virtual ~TextBoxView() = default;
    // The whole text was set from code (the caret then at 0).
    virtual void textReplaced() = 0;
    // A key edited the text: the units [at, at + removed) of the old text became the units
    // [at, at + inserted) of the new one.
    virtual void textEdited(std::int32_t at, std::int32_t removed, std::int32_t inserted) = 0;
    // As textEdited, for an edit that takes back the control's last one (TextBox::takeBack).
    virtual void editTakenBack(std::int32_t at, std::int32_t removed, std::int32_t inserted) {
        textEdited(at, removed, inserted);
    }
    virtual void selectionMoved() = 0;
    virtual void geometryChanged() = 0;
    virtual void visibilityChanged() = 0;
    virtual void readOnlyChanged() = 0;
    virtual void appearanceChanged() = 0; // background colour or font size
    // The control gave the editor the focus: the view moves the real keyboard focus into it.
    virtual void focusGiven() = 0;
    // The marked ranges changed.
    virtual void marksChanged() {}
};

class TextBoxModel final : public Placed<TextBox> {
  public:
    // sink: where notifications go (read at each one, so it may be set later). holder: the frame
    // the box stands in; a box in a hidden frame cannot take the focus. The box starts over
    // column 1 of the grid's first row, in the control's font and the editor's colour.
    TextBoxModel(Notifications* const& sink, const Frame& holder);

    void setView(TextBoxView* view) { view_ = view; }
    // Where the focus goes when the box is hidden while it has the focus: the platform moves it
    // (to the grid), then the focus-lost notification runs.
    void setFocusLeaving(std::function<void()> leaving) { leaving_ = std::move(leaving); }

    // --- TextBox ---
    Str text() const override { return text_; }
    void setText(const Str& text) override;
    std::int32_t selStart() const override { return selStart_; }
    void setSelStart(std::int32_t pos) override;
    std::int32_t selLength() const override { return selLength_; }
    void replaceRange(std::int32_t from, std::int32_t to, const Str& text) override;
    void takeBack(std::int32_t from, std::int32_t to, const Str& text) override;
    void setMarkedRanges(std::vector<Range> ranges) override;
    const std::vector<Range>& markedRanges() const override { return marks_; }
    bool visible() const override { return visible_; }
    void setVisible(bool v) override;
    void hideKeepingFocus() override;
    bool readOnly() const override { return readOnly_; }
    void setReadOnly(bool v) override;
    std::int32_t backColor() const override { return backColor_; }
    void setBackColor(std::int32_t color) override;
    double fontSize() const override { return fontSize_; }
    void setFontSize(double points) override;
    void setFocus() override;
    bool hasFocus() const override { return focus_; }

    // --- Selection, in units of the text ---
    // The user moved the caret or selected (from anchor to caret, either way round).
    void userSelect(std::int32_t anchor, std::int32_t caret);

    // --- Keys, as the keyboard sends them ---
    // Key down; false when a handler discarded it (the box must not act on the key).
    bool keyDown(std::int16_t keyCode, int shift);
    // A character key: the character-key notification, then the character acts at the caret
    // unless a handler discarded it, its key went down discarded, or the box is read-only or
    // hidden. Enter types CR LF; Backspace removes the selection or the character before the
    // caret (a CR LF pair as one); Esc and other control characters type nothing. Returns true
    // when the character was let through (to act, or to be ignored as a control character).
    bool characterKey(char16_t ch, bool downDiscarded = false);
    void keyUp(std::int16_t keyCode, int shift);
    // Down, character and up of one key that types ch.
    void typeKey(char16_t ch);

    // --- Edits the view made itself (paste, Delete, cut, composed text over a selection) ---
    // The units [from, to) become text; refused (false) while read-only. Untouched text keeps
    // its exact line breaks. The caret ends after the inserted text.
    bool userReplace(std::int32_t from, std::int32_t to, StrView text);

    // --- Focus moves the platform reports ---
    // The real focus entered the box. While the box keeps the control's focus (it came back from
    // a prompt, a menu or another window), nothing is told; otherwise this is a new opening
    // and the focus-gained notification runs.
    void focusIn();
    // The user gave the focus to another widget of the same window: the focus-lost notification,
    // when the box had the focus.
    void focusOut();

    // Line breaks of a text: the CR LF pair, a lone CR, a lone LF. Returns the number of units
    // of the break starting at i, 0 when none starts there.
    static std::int32_t breakAt(StrView text, std::int32_t i);

  private:
    void placementChanged() override;
    Notifications* note() const { return sink_; }
    void changed();
    // Replaces [from, to) with text, caret after it, and tells the control and the view.
    void edit(std::int32_t from, std::int32_t to, StrView text, bool tellView);
    void backspace();
    void clearMarks();

    Notifications* const& sink_;
    const Frame& holder_;
    TextBoxView* view_ = nullptr;
    std::function<void()> leaving_;
    Str text_;
    std::vector<Range> marks_;
    std::int32_t selStart_ = 0, selLength_ = 0;
    std::int32_t backColor_;
    double fontSize_;
    bool visible_ = false, readOnly_ = false, focus_ = false;
    bool takingBack_ = false; // the edit under way is a takeBack
};

} // namespace dalmure::platform
