// The frames: the plain panels that hold the grid and the command buttons.
#include "platform/qt/qt_internal.h"

#include <algorithm>

namespace dalmure::qt {

QtFrame::QtFrame(Context& ctx, QFrame* w, platform::Placement placement)
    : Placed(placement), ctx_(ctx), w_(w) {
    apply();
}

void QtFrame::apply() {
    const platform::Placement& at = placement();
    w_->setGeometry(ctx_.pxX(at.left), ctx_.pxY(at.top), std::max(0, ctx_.pxX(at.width)),
                    std::max(0, ctx_.pxY(at.height)));
}
void QtFrame::setVisible(bool v) {
    visible_ = v;
    w_->setVisible(v);
    if (onVisibility)
        onVisibility();
}

} // namespace dalmure::qt
