// The local clock component: the support library's clock interface, which the log reads too.
#pragma once

#include "support/clock.h"

namespace dalmure::platform {

using LocalTime = dalmure::LocalTime;
using Clock = dalmure::Clock;

} // namespace dalmure::platform
