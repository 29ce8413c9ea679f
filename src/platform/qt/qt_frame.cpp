// The frames: the plain panels that hold the grid and the command buttons.
#include "platform/qt/qt_internal.h"

#include <algorithm>

namespace dalmure::qt {

QtFrame::QtFrame(Context& ctx, QFrame* w, platform::Placement placement)
    : ctx_(ctx), w_(w), place_(placement) {
    apply();
}

void QtFrame::apply() {
    w_->setGeometry(ctx_.pxX(place_.left), ctx_.pxY(place_.top),
                    std::max(0, ctx_.pxX(place_.width)), std::max(0, ctx_.pxY(place_.height)));
}
void QtFrame::setWidth(std::int32_t v) {
    place_.width = v;
    apply();
}
void QtFrame::setHeight(std::int32_t v) {
    place_.height = v;
    apply();
}
void QtFrame::setVisible(bool v) {
    visible_ = v;
    w_->setVisible(v);
    if (onVisibility)
        onVisibility();
}

} // namespace dalmure::qt
