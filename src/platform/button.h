// A command button: placed and called by the control, its clicks and mouse moves reported
// through Notifications::buttonClick / buttonMouseMove.
#pragma once

#include "platform/placement.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

// Its visible() is the button's own visibility; it is shown on screen only when its frame is
// shown too.
class CommandButton : public PlacedComponent {
  public:
    // Returns exactly the text last put.
    virtual Str toolTipText() const = 0;
    virtual void setToolTipText(const Str& text) = 0;
    // The "ButtonColor" property.
    virtual std::int32_t buttonColor() const = 0;
    virtual void setButtonColor(std::int32_t color) = 0;
};

} // namespace dalmure::platform
