// The mouse pointer: the busy pointer over the whole application while the control works.
#include "platform/qt/qt_internal.h"

#include <QApplication>

namespace dalmure::qt {

QtScreen::~QtScreen() {
    if (overridden_)
        QApplication::restoreOverrideCursor();
}

void QtScreen::setMousePointer(int pointer) {
    pointer_ = pointer;
    if (pointer == platform::kPointerBusy && !overridden_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        overridden_ = true;
    } else if (pointer != platform::kPointerBusy && overridden_) {
        QApplication::restoreOverrideCursor();
        overridden_ = false;
    }
    if (ctx_.happenings)
        ctx_.happenings->pointer(pointer);
}

} // namespace dalmure::qt
