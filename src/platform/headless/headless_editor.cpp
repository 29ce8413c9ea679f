// The in-memory in-place editor (a multi-line text box).
#include "control/design.h"
#include "platform/headless/headless_components.h"
#include "support/errors.h"

#include <algorithm>

namespace dalmure::headless {

// Placed over column 1 of the first row; start-up and the grid click place it anew.
HeadlessEditor::HeadlessEditor(Context& ctx, const platform::Frame& holder)
    : ctx_(ctx), holder_(holder), left_(design::kGridLeft + design::kGridDefaultColWidth + 45),
      top_(design::kGridTop + 15), width_(design::kGridDefaultColWidth - 60),
      height_(design::kGridDefaultRowHeight - 30), backColor_(design::kEditorBackColor),
      fontSize_(design::kFontSize) {}

void HeadlessEditor::changed() {
    if (ctx_.notifications) {
        ctx_.notifications->editorChange();
    }
}

void HeadlessEditor::setText(const Str& text) {
    selStart_ = 0;
    if (text == text_) {
        return;
    }
    text_ = text;
    changed();
}

void HeadlessEditor::setSelStart(std::int32_t pos) {
    if (pos < 0) {
        invalidPropertyValue();
    }
    selStart_ = std::min(pos, static_cast<std::int32_t>(text_.size()));
}

void HeadlessEditor::setWidth(std::int32_t v) {
    if (v < 0) {
        invalidPropertyValue();
    }
    width_ = v;
}

void HeadlessEditor::setHeight(std::int32_t v) {
    if (v < 0) {
        invalidPropertyValue();
    }
    height_ = v;
}

void HeadlessEditor::setFocus() {
    // A hidden text box, or one in a hidden frame, cannot take the focus.
    if (!visible_ || !holder_.visible()) {
        errors::invalidProcedureCall();
    }
    focus_ = true;
    if (ctx_.notifications) {
        ctx_.notifications->editorGotFocus();
    }
}

void HeadlessEditor::loseFocus() {
    if (!focus_) {
        return;
    }
    focus_ = false;
    if (ctx_.notifications) {
        ctx_.notifications->editorLostFocus();
    }
}

void HeadlessEditor::typeAtCaret(StrView text) {
    const auto at = static_cast<std::size_t>(std::min<std::int32_t>(
        std::max<std::int32_t>(selStart_, 0), static_cast<std::int32_t>(text_.size())));
    text_.insert(at, text);
    selStart_ = static_cast<std::int32_t>(at + text.size());
    changed();
}

void HeadlessEditor::backspace() {
    auto at = static_cast<std::size_t>(std::min<std::int32_t>(
        std::max<std::int32_t>(selStart_, 0), static_cast<std::int32_t>(text_.size())));
    if (at == 0) {
        return;
    }
    std::size_t n = 1;
    if (at >= 2 && text_[at - 2] == u'\r' && text_[at - 1] == u'\n') {
        n = 2; // a line break goes as one
    }
    text_.erase(at - n, n);
    selStart_ = static_cast<std::int32_t>(at - n);
    changed();
}

} // namespace dalmure::headless
