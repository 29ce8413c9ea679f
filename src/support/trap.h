// The error trap every control procedure runs its body through: an error raised in the body
// becomes one log line under the procedure's label, and the procedure returns normally, leaving
// done whatever the body had done before the error.
#pragma once

#include "support/errors.h"
#include "support/log.h"

#include <exception>
#include <new>
#include <utility>

namespace dalmure {

template <class Body> void runTrapped(Log& log, const char16_t* label, Body&& body) {
    try {
        std::forward<Body>(body)();
    } catch (const ControlError& e) {
        log.writeTrapped(e.number(), e.description(), Str(label));
    } catch (const std::bad_alloc&) {
        log.writeTrapped(7, u"Out of memory", Str(label));
    } catch (const std::exception&) {
        log.writeTrapped(51, u"Internal error", Str(label));
    }
}

} // namespace dalmure
