// The browser component inside the control (WebBrowser1), used to load and print the minutes.
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure::platform {

class BrowserComponent {
public:
    virtual ~BrowserComponent() = default;
    // Loads the page and runs its scripts (the minutes page's window.print() prints it).
    virtual void navigate(const Str& path) = 0;
    virtual std::int32_t width() const = 0;
    virtual void setWidth(std::int32_t v) = 0;
};

} // namespace dalmure::platform
