// The control's error trap: every procedure that can fail runs its body through trap(), which
// turns a raised error into one log line under the procedure's label. The procedure then returns
// normally, leaving done whatever its body had done before the error.
#pragma once

#include "control/dalmure.h"
#include "support/errors.h"

#include <exception>
#include <new>
#include <utility>

namespace dalmure {

template <class Body> void Dalmure::trap(const char16_t* label, Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const ControlError& e) {
        logTrapped(e.number(), e.description(), Str(label));
    } catch (const std::bad_alloc&) {
        logTrapped(7, u"Out of memory", Str(label));
    } catch (const std::exception&) {
        logTrapped(51, u"Internal error", Str(label));
    }
}

} // namespace dalmure
