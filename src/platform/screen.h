// The screen's mouse pointer (kPointerDefault, kPointerBusy).
#pragma once

namespace dalmure::platform {

class Screen {
public:
    virtual ~Screen() = default;
    virtual void setMousePointer(int pointer) = 0;
    virtual int mousePointer() const = 0;
};

} // namespace dalmure::platform
