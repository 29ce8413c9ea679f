// The error a few members of the control raise to the host: a number and a description, as the
// host language's Err object carries them.
#pragma once

#include <dalmure/text.h>

#include <cstdint>
#include <stdexcept>

namespace dalmure {

class DALMURE_EXPORT ControlError : public std::runtime_error {
  public:
    ControlError(std::int32_t number, Str description);
    ~ControlError() override;
    ControlError(const ControlError&) = default;
    ControlError& operator=(const ControlError&) = default;

    // The error's number (6 Overflow, 380 Invalid property value, ...).
    std::int32_t number() const { return number_; }
    // Its text.
    const Str& description() const { return description_; }

  private:
    std::int32_t number_;
    Str description_;
};

} // namespace dalmure
