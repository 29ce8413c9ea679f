// The control's own surface and its container: size, background colour, font and text
// metrics, frames, property-change notices and the pending-event yield.
#pragma once

#include "platform/ids.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

class Frame {
public:
    virtual ~Frame() = default;
    virtual std::int32_t width() const = 0;
    virtual void setWidth(std::int32_t v) = 0;
    virtual std::int32_t height() const = 0;
    virtual void setHeight(std::int32_t v) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool v) = 0;
};

class ControlSurface {
public:
    virtual ~ControlSurface() = default;

    virtual std::int32_t width() const = 0;
    virtual void setWidth(std::int32_t v) = 0;
    virtual std::int32_t height() const = 0;
    virtual void setHeight(std::int32_t v) = 0;
    virtual std::int32_t backColor() const = 0;
    virtual void setBackColor(std::int32_t color) = 0;

    // The control's own font, in which text is measured.
    virtual double fontSize() const = 0;
    virtual void setFontSize(double points) = 0;
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
