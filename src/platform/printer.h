// The platform's printer object: one print-size setting.
#pragma once

#include <cstdint>

namespace dalmure::platform {

class Printer {
public:
    virtual ~Printer() = default;
    virtual void setPrintSize(std::int16_t size) = 0;
    virtual std::int16_t printSize() const = 0;
};

} // namespace dalmure::platform
