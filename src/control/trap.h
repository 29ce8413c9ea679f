// The control's procedures trap their errors into the control's log (see support/trap.h).
#pragma once

#include "control/dalmure_p.h"
#include "support/trap.h"

#include <utility>

namespace dalmure {

template <class Body> void DalmurePrivate::trap(const char16_t* label, Body&& body) {
    runTrapped(log_, label, std::forward<Body>(body));
}

} // namespace dalmure
