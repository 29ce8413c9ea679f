// Where a component stands in its frame or on the surface, in twips, and the rule every
// placement setter follows; how a component that shows text looks.
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

// A component the control places in its frame or on the surface (the grid, the editor, a
// command button, a frame): where it stands, in twips, and whether it is shown. A negative width
// or height is refused with "Invalid property value".
class PlacedComponent {
  public:
    virtual ~PlacedComponent() = default;

    virtual std::int32_t left() const = 0;
    virtual void setLeft(std::int32_t v) = 0;
    virtual std::int32_t top() const = 0;
    virtual void setTop(std::int32_t v) = 0;
    virtual std::int32_t width() const = 0;
    virtual void setWidth(std::int32_t v) = 0;
    virtual std::int32_t height() const = 0;
    virtual void setHeight(std::int32_t v) = 0;
    virtual bool visible() const = 0;
    virtual void setVisible(bool v) = 0;
};

// A component that shows text (the surface, the grid, the editor): its background colour
// (0x00BBGGRR, or a system colour 0x800000nn) and the size in points of its font.
class Appearance {
  public:
    virtual ~Appearance() = default;

    virtual std::int32_t backColor() const = 0;
    virtual void setBackColor(std::int32_t color) = 0;
    virtual double fontSize() const = 0;
    virtual void setFontSize(double points) = 0;
};

// A component's interface (the grid, the text box, ...) with its placement kept here: read back
// as set, and placementChanged() told after each change.
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
    const Placement& placement() const { return place_; }

  private:
    void place(std::int32_t Placement::*side, std::int32_t v) {
        place_.set(side, v);
        placementChanged();
    }
    Placement place_;
};

} // namespace dalmure::platform
