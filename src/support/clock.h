// The local clock: what the log stamps its lines with. Each platform implements it (the
// platform's clock component is this interface).
#pragma once

namespace dalmure {

struct LocalTime {
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0, second = 0;
    int hundredths = 0; // 0..99
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
    // Seconds since midnight, with fractions (the host language's Timer).
    virtual double secondsSinceMidnight() const = 0;
};

} // namespace dalmure
