// STUB: to be written (errors).
#include "support/errors.h"

namespace dalmure {
ControlError::ControlError(std::int32_t number, Str description)
    : std::runtime_error("control error"), number_(number), description_(std::move(description)) {}
namespace errors {
void overflow() { throw ControlError(kOverflow, u"Overflow"); }
void invalidRow() { throw ControlError(kInvalidRow, u"Invalid Row value"); }
void invalidCol() { throw ControlError(kInvalidCol, u"Invalid Col value"); }
void subscriptOutOfRange() { throw ControlError(kSubscriptOutOfRange, u"Subscript out of range"); }
void invalidProcedureCall() {
    throw ControlError(kInvalidProcedureCall, u"Invalid procedure call or argument");
}
void fromErrno(int) { throw ControlError(kPathFileAccess, u"Path/File access error"); }
} // namespace errors
} // namespace dalmure
