// The multi-line in-place editor (Text1). Setting the text raises the change notification
// synchronously when the text differs; setting it from code puts the caret at 0.
#pragma once

#include "platform/placement.h"
#include "support/text.h"

#include <cstdint>
#include <vector>

namespace dalmure::platform {

// Hiding the editor (setVisible(false)) while it has the focus gives the focus to the grid and
// runs the focus-lost notification.
class TextBox : public PlacedComponent, public Appearance {
  public:
    virtual Str text() const = 0;
    virtual void setText(const Str& text) = 0;
    virtual std::int32_t selStart() const = 0;
    virtual void setSelStart(std::int32_t pos) = 0; // also selects nothing
    virtual std::int32_t selLength() const = 0;

    // An edit the control makes as the user types (an abbreviation expanded, or put back): the
    // units [from, to) become text, the caret ends after it, and the change notification runs
    // as for a typed key. Unlike setText, the rest of the text and its scrolling stay.
    virtual void replaceRange(std::int32_t from, std::int32_t to, const Str& text) = 0;
    // The control takes back its own last edit (an expansion put back): as replaceRange, and an
    // editor with an undo history of its own steps back over that edit instead of recording a
    // new one, so that its next undo goes on back through the typing.
    virtual void takeBack(std::int32_t from, std::int32_t to, const Str& text) {
        replaceRange(from, to, text);
    }

    // Ranges of the text the user should look at again (misspelled words), in units of the
    // text, in order. They are shown until replaced; any edit clears them.
    struct Range {
        std::int32_t start = 0;
        std::int32_t length = 0;
        bool operator==(const Range&) const = default;
    };
    virtual void setMarkedRanges(std::vector<Range> ranges) = 0;
    virtual const std::vector<Range>& markedRanges() const = 0;

    // Hides the editor while its row is out of view: it keeps its text and the focus, and comes
    // back as it was when shown again.
    virtual void hideKeepingFocus() = 0;
    virtual bool readOnly() const = 0;
    virtual void setReadOnly(bool v) = 0;

    // Gives the editor the focus; runs the focus-gained notification every time, also when it
    // already has the focus. Raises an error when the editor cannot take the focus (hidden).
    virtual void setFocus() = 0;
    virtual bool hasFocus() const = 0;
};

} // namespace dalmure::platform
