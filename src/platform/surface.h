// The control's own surface and its container: size, background colour, font and text
// metrics, frames, property-change notices and the pending-event yield.
#pragma once

#include "platform/ids.h"
#include "platform/placement.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

// A plain panel on the surface holding other components (Frame1 the browser component, Frame3
// the grid, the editor and the commands).
class Frame : public PlacedComponent {};

// Its font (Appearance) is the control's own, in which text is measured.
class ControlSurface : public Appearance {
  public:
    virtual std::int32_t width() const = 0;
    virtual void setWidth(std::int32_t v) = 0;
    virtual std::int32_t height() const = 0;
    virtual void setHeight(std::int32_t v) = 0;
    // Width of the text's longest line and height of all its lines (CR LF, CR or LF end a
    // line), in twips, in the control's font.
    virtual double textWidth(StrView text) const = 0;
    virtual double textHeight(StrView text) const = 0;

    // Tells the container that a property of the control changed.
    virtual void propertyChanged(const Str& name) = 0;
    // Lets pending user-interface events run (host calls and user input may arrive here).
    virtual void yieldToPendingEvents() = 0;
};

} // namespace dalmure::platform
