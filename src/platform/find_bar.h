// The find bar: a line the clerk types a search into, the count of what it finds and a close
// button, laid across the top of the grid's frame. Hidden until the clerk asks for it (Ctrl+F in
// the grid or the notes); the keys it reports come to the control as find notifications.
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

class FindBar {
  public:
    virtual ~FindBar() = default;

    // Showing the bar does not give it the focus; hiding it while it has the focus gives the
    // focus to the grid.
    virtual bool visible() const = 0;
    virtual void setVisible(bool v) = 0;

    // What the clerk typed. Setting it from code raises no notification.
    virtual Str text() const = 0;
    virtual void setText(const Str& text) = 0;

    // The count shown beside the text ("3 of 120"); screen readers hear it when it changes.
    virtual Str count() const = 0;
    virtual void setCount(const Str& text) = 0;
    // The close button's tooltip and the hint shown in the empty line.
    virtual void setCaptions(const Str& closeToolTip, const Str& placeholder) = 0;

    virtual void setFocus() = 0;
    virtual bool hasFocus() const = 0;

    // Placement inside Frame3 (twips). The bar's height is its own: the control makes room for
    // it above the grid.
    virtual std::int32_t height() const = 0;
    virtual void setPlacement(std::int32_t left, std::int32_t top, std::int32_t width) = 0;
};

} // namespace dalmure::platform
