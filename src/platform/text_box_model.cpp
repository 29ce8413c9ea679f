#include "platform/text_box_model.h"

#include "control/design.h"
#include "support/errors.h"

#include <algorithm>

namespace dalmure::platform {

namespace {

constexpr char16_t kEnter = u'\r';
constexpr char16_t kBackspace = u'\b';

[[noreturn]] void invalidPropertyValue() {
    throw ControlError(380, u"Invalid property value");
}

// The key code of the key that types c: letters by their capital, everything else by its own
// code (digits, Enter 13, Backspace 8, Esc 27, space 32 among them).
std::int16_t keyCodeOf(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return static_cast<std::int16_t>(c - u'a' + u'A');
    }
    return static_cast<std::int16_t>(c);
}

int shiftOf(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? 1 : 0;
}

} // namespace

TextBoxModel::TextBoxModel(Notifications* const& sink, const Frame& holder)
    // Start-up and the grid click place it anew.
    : Placed({design::kGridLeft + design::kGridDefaultColWidth + 45, design::kGridTop + 15,
              design::kGridDefaultColWidth - 60, design::kGridDefaultRowHeight - 30}),
      sink_(sink), holder_(holder), backColor_(design::kEditorBackColor),
      fontSize_(design::kFontSize) {}

std::int32_t TextBoxModel::breakAt(StrView text, std::int32_t i) {
    const auto n = static_cast<std::int32_t>(text.size());
    if (i < 0 || i >= n) {
        return 0;
    }
    const char16_t c = text[static_cast<std::size_t>(i)];
    if (c == u'\r') {
        return (i + 1 < n && text[static_cast<std::size_t>(i) + 1] == u'\n') ? 2 : 1;
    }
    return c == u'\n' ? 1 : 0;
}

void TextBoxModel::changed() {
    if (Notifications* n = note()) {
        n->editorChange();
    }
}

void TextBoxModel::setText(const Str& text) {
    selStart_ = 0;
    selLength_ = 0;
    if (text == text_) {
        if (view_) {
            view_->selectionMoved();
        }
        return;
    }
    text_ = text;
    clearMarks();
    if (view_) {
        view_->textReplaced();
    }
    changed();
}

void TextBoxModel::replaceRange(std::int32_t from, std::int32_t to, const Str& text) {
    edit(from, to, text, true);
}

void TextBoxModel::takeBack(std::int32_t from, std::int32_t to, const Str& text) {
    takingBack_ = true;
    edit(from, to, text, true);
    takingBack_ = false;
}

void TextBoxModel::setMarkedRanges(std::vector<Range> ranges) {
    // Kept only when they lie in the text, in order and apart.
    const auto n = static_cast<std::int32_t>(text_.size());
    std::vector<Range> kept;
    std::int32_t end = 0;
    for (const Range& r : ranges) {
        if (r.start < end || r.length <= 0 || r.start > n - r.length) {
            continue;
        }
        kept.push_back(r);
        end = r.start + r.length;
    }
    if (kept == marks_) {
        return;
    }
    marks_ = std::move(kept);
    if (view_) {
        view_->marksChanged();
    }
}

void TextBoxModel::clearMarks() {
    if (marks_.empty()) {
        return;
    }
    marks_.clear();
    if (view_) {
        view_->marksChanged();
    }
}

void TextBoxModel::setSelStart(std::int32_t pos) {
    if (pos < 0) {
        invalidPropertyValue();
    }
    selStart_ = std::min(pos, static_cast<std::int32_t>(text_.size()));
    selLength_ = 0;
    if (view_) {
        view_->selectionMoved();
    }
}

void TextBoxModel::userSelect(std::int32_t anchor, std::int32_t caret) {
    const auto n = static_cast<std::int32_t>(text_.size());
    anchor = std::clamp(anchor, 0, n);
    caret = std::clamp(caret, 0, n);
    selStart_ = std::min(anchor, caret);
    selLength_ = std::max(anchor, caret) - selStart_;
}

void TextBoxModel::placementChanged() {
    if (view_) {
        view_->geometryChanged();
    }
}

void TextBoxModel::setVisible(bool v) {
    // Hidden, the box cannot keep the focus: it goes where the platform puts it first, so that
    // the keys that follow reach that widget, and the box's focus loss runs.
    const bool losing = !v && focus_;
    if (losing && leaving_) {
        leaving_();
    }
    visible_ = v;
    if (view_) {
        view_->visibilityChanged();
    }
    if (losing) {
        focusOut();
    }
}

void TextBoxModel::hideKeepingFocus() {
    if (!visible_) {
        return;
    }
    visible_ = false;
    if (view_) {
        view_->visibilityChanged();
    }
}

void TextBoxModel::setReadOnly(bool v) {
    readOnly_ = v;
    if (view_) {
        view_->readOnlyChanged();
    }
}

void TextBoxModel::setBackColor(std::int32_t color) {
    backColor_ = color;
    if (view_) {
        view_->appearanceChanged();
    }
}

void TextBoxModel::setFontSize(double points) {
    fontSize_ = points;
    if (view_) {
        view_->appearanceChanged();
    }
}

void TextBoxModel::setFocus() {
    // A hidden text box, or one in a hidden frame, cannot take the focus.
    if (!visible_ || !holder_.visible()) {
        errors::invalidProcedureCall();
    }
    focus_ = true;
    if (view_) {
        view_->focusGiven();
    }
    if (Notifications* n = note()) {
        n->editorGotFocus();
    }
}

void TextBoxModel::focusIn() {
    if (focus_) {
        return; // back from a prompt, a menu or another window: not a new opening
    }
    focus_ = true;
    if (Notifications* n = note()) {
        n->editorGotFocus();
    }
}

void TextBoxModel::focusOut() {
    if (!focus_) {
        return;
    }
    focus_ = false;
    if (Notifications* n = note()) {
        n->editorLostFocus();
    }
}

bool TextBoxModel::keyDown(std::int16_t keyCode, int shift) {
    if (keyCode == 0) {
        return true;
    }
    if (Notifications* n = note()) {
        n->editorKeyDown(keyCode, shift);
    }
    return keyCode != 0;
}

void TextBoxModel::keyUp(std::int16_t keyCode, int shift) {
    if (keyCode == 0) {
        return;
    }
    if (Notifications* n = note()) {
        n->editorKeyUp(keyCode, shift);
    }
}

bool TextBoxModel::characterKey(char16_t ch, bool downDiscarded) {
    auto ascii = static_cast<std::int16_t>(ch);
    if (Notifications* n = note()) {
        n->editorKeyPress(ascii);
    }
    if (ascii == 0 || downDiscarded || readOnly_ || !visible_) {
        return false;
    }
    const auto typed = static_cast<char16_t>(static_cast<std::uint16_t>(ascii));
    if (typed == kEnter) {
        edit(selStart_, selStart_ + selLength_, u"\r\n", true);
    } else if (typed == kBackspace) {
        backspace();
    } else if (typed >= u' ') {
        edit(selStart_, selStart_ + selLength_, StrView(&typed, 1), true);
    }
    return true;
}

void TextBoxModel::typeKey(char16_t ch) {
    const int shift = shiftOf(ch);
    const bool down = keyDown(keyCodeOf(ch), shift);
    characterKey(ch, !down);
    keyUp(keyCodeOf(ch), shift);
}

void TextBoxModel::backspace() {
    if (selLength_ > 0) {
        edit(selStart_, selStart_ + selLength_, StrView(), true);
        return;
    }
    const std::int32_t at = std::clamp(selStart_, 0, static_cast<std::int32_t>(text_.size()));
    if (at == 0) {
        return;
    }
    std::int32_t n = 1;
    if (at >= 2 && text_[static_cast<std::size_t>(at) - 2] == u'\r' &&
        text_[static_cast<std::size_t>(at) - 1] == u'\n') {
        n = 2; // a line break goes as one
    }
    edit(at - n, at, StrView(), true);
}

bool TextBoxModel::userReplace(std::int32_t from, std::int32_t to, StrView text) {
    if (readOnly_) {
        return false;
    }
    edit(from, to, text, false);
    return true;
}

void TextBoxModel::edit(std::int32_t from, std::int32_t to, StrView text, bool tellView) {
    const auto n = static_cast<std::int32_t>(text_.size());
    from = std::clamp(from, 0, n);
    to = std::clamp(to, from, n);
    if (from == to && text.empty()) {
        selStart_ = from;
        selLength_ = 0;
        if (tellView && view_) {
            view_->selectionMoved();
        }
        return;
    }
    text_.replace(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from), text);
    clearMarks();
    selStart_ = from + static_cast<std::int32_t>(text.size());
    selLength_ = 0;
    const auto inserted = static_cast<std::int32_t>(text.size());
    if (tellView && view_ && takingBack_) {
        view_->editTakenBack(from, to - from, inserted);
    } else if (tellView && view_) {
        view_->textEdited(from, to - from, inserted);
    }
    changed();
}

} // namespace dalmure::platform
