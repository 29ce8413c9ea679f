// A command button: placed and called by the control, its clicks and mouse moves reported
// through Notifications::buttonClick / buttonMouseMove.
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

class CommandButton {
public:
    virtual ~CommandButton() = default;

    virtual std::int32_t left() const = 0;
    virtual void setLeft(std::int32_t v) = 0;
    virtual std::int32_t top() const = 0;
    virtual std::int32_t width() const = 0;
    virtual std::int32_t height() const = 0;
    // The button's own visibility; it is shown on screen only when its frame is shown too.
    virtual bool visible() const = 0;
    virtual void setVisible(bool v) = 0;
    // Returns exactly the text last put.
    virtual Str toolTipText() const = 0;
    virtual void setToolTipText(const Str& text) = 0;
    // The "ButtonColor" property.
    virtual std::int32_t buttonColor() const = 0;
    virtual void setButtonColor(std::int32_t color) = 0;
};

} // namespace dalmure::platform
