// STUB: to be written (numbers).
#include "support/numeric.h"

#include "support/errors.h"

#include <cmath>

namespace dalmure {
double roundHalfEven(double value) { return std::nearbyint(value); }
std::int16_t toInteger(double value) {
    double r = roundHalfEven(value);
    if (!(r >= -32768 && r <= 32767)) errors::overflow();
    return static_cast<std::int16_t>(r);
}
std::int16_t toInteger(long long value) {
    if (value < -32768 || value > 32767) errors::overflow();
    return static_cast<std::int16_t>(value);
}
std::int32_t toLong(double value) {
    double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) errors::overflow();
    return static_cast<std::int32_t>(r);
}
std::int16_t addInteger(std::int16_t a, std::int16_t b) { return toInteger(static_cast<long long>(a) + b); }
std::int16_t subInteger(std::int16_t a, std::int16_t b) { return toInteger(static_cast<long long>(a) - b); }
std::int16_t mulInteger(std::int16_t a, std::int16_t b) { return toInteger(static_cast<long long>(a) * b); }
double leadingNumber(StrView) { return 0; }
} // namespace dalmure
