// The host language's number semantics: 16-bit Integers whose overflow is an error,
// rounding half to even, and the leading-number conversion of texts.
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure {

// Rounds half to even ("banker's rounding"), as CInt and CLng do.
double roundHalfEven(double value);

// Converts to a 16-bit Integer: rounds half to even, raises Overflow (6) outside -32768..32767.
std::int16_t toInteger(double value);
std::int16_t toInteger(long long value);
// Converts to a 32-bit Long the same way, raising Overflow outside the signed 32-bit range.
std::int32_t toLong(double value);

// Integer arithmetic: the result must fit in 16 bits, else Overflow.
std::int16_t addInteger(std::int16_t a, std::int16_t b);
std::int16_t subInteger(std::int16_t a, std::int16_t b);
std::int16_t mulInteger(std::int16_t a, std::int16_t b);

// The numeric value of the text's leading number: leading blanks skipped, an optional sign,
// digits with "." as the decimal point and an optional exponent; 0 when there is none.
// "12pt" -> 12, " 9.6" -> 9.6, "abc" -> 0.
double leadingNumber(StrView text);

} // namespace dalmure
