// Where a component stands in its frame or on the surface, in twips, and the rule every
// placement setter follows.
#pragma once

#include "support/errors.h"

#include <cstdint>

namespace dalmure::platform {

struct Placement {
    std::int32_t left = 0, top = 0, width = 0, height = 0;

    // Sets one side (&Placement::left, ...). A negative width or height is refused with
    // "Invalid property value" and changes nothing.
    void set(std::int32_t Placement::*side, std::int32_t v) {
        if (v < 0 && (side == &Placement::width || side == &Placement::height)) {
            errors::invalidPropertyValue();
        }
        this->*side = v;
    }
};

// A component's interface (the grid, the text box) with its placement kept here: read back as
// set, and placementChanged() told after each change.
template <class Interface> class Placed : public Interface {
  public:
    std::int32_t left() const override { return place_.left; }
    void setLeft(std::int32_t v) override { place(&Placement::left, v); }
    std::int32_t top() const override { return place_.top; }
    void setTop(std::int32_t v) override { place(&Placement::top, v); }
    std::int32_t width() const override { return place_.width; }
    void setWidth(std::int32_t v) override { place(&Placement::width, v); }
    std::int32_t height() const override { return place_.height; }
    void setHeight(std::int32_t v) override { place(&Placement::height, v); }

  protected:
    explicit Placed(Placement placement) : place_(placement) {}
    virtual void placementChanged() = 0;

  private:
    void place(std::int32_t Placement::*side, std::int32_t v) {
        place_.set(side, v);
        placementChanged();
    }
    Placement place_;
};

} // namespace dalmure::platform
