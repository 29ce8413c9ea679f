// The host language's number semantics: banker's rounding, 16-bit Integers that overflow with
// error 6, and Val's reading of a text's leading number.
#include "support/numeric.h"

#include "support/errors.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace dalmure {

double roundHalfEven(double value) {
    // Spelled out rather than left to the floating-point environment's rounding mode.
    if (!std::isfinite(value))
        return value;
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

std::int16_t toInteger(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= -32768.0 && r <= 32767.0))
        errors::overflow(); // NaN fails too
    return static_cast<std::int16_t>(r);
}

std::int16_t toInteger(long long value) {
    if (value < -32768 || value > 32767)
        errors::overflow();
    return static_cast<std::int16_t>(value);
}

std::int32_t toLong(double value) {
    const double r = roundHalfEven(value);
    if (!(r >= -2147483648.0 && r <= 2147483647.0))
        errors::overflow();
    return static_cast<std::int32_t>(r);
}

std::int16_t addInteger(std::int16_t a, std::int16_t b) {
    return toInteger(static_cast<long long>(a) + b);
}
std::int16_t subInteger(std::int16_t a, std::int16_t b) {
    return toInteger(static_cast<long long>(a) - b);
}
std::int16_t mulInteger(std::int16_t a, std::int16_t b) {
    return toInteger(static_cast<long long>(a) * b);
}

double leadingNumber(StrView text) {
    // One pass over the text that keeps at most kMaxDigits significant digits (plus a sticky
    // digit for what was dropped, which keeps the rounding right) and a clamped decimal
    // exponent, then a locale-free conversion of that bounded text. Texts of any length cost a
    // scan and no allocation in proportion to their length.
    constexpr std::size_t kMaxDigits = 800;
    constexpr long long kExpClamp = 100000;

    std::size_t i = 0;
    const std::size_t n = text.size();
    auto isBlank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    while (i < n && isBlank(text[i]))
        ++i;

    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }

    std::string digits;   // significant digits, no leading zeros
    long long scale = 0;  // value = digits * 10^scale (before the written exponent)
    bool dropped = false; // a non-zero digit beyond kMaxDigits was dropped
    bool anyDigit = false;
    auto take = [&](char16_t c, bool fraction) {
        anyDigit = true;
        if (digits.empty() && c == u'0') {
            if (fraction)
                --scale;
            return;
        }
        if (digits.size() < kMaxDigits) {
            digits.push_back(static_cast<char>(c));
            if (fraction)
                --scale;
        } else {
            if (c != u'0')
                dropped = true;
            if (!fraction && scale < kExpClamp)
                ++scale;
        }
    };
    for (; i < n && isDigit(text[i]); ++i)
        take(text[i], false);
    if (i < n && text[i] == u'.') {
        ++i;
        for (; i < n && isDigit(text[i]); ++i) {
            take(text[i], true);
            if (scale < -kExpClamp)
                scale = -kExpClamp;
        }
    }
    if (!anyDigit)
        return 0.0;

    // An exponent counts only when digits follow its letter (and optional sign).
    if (i < n && (text[i] == u'e' || text[i] == u'E' || text[i] == u'd' || text[i] == u'D')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            expNegative = text[j] == u'-';
            ++j;
        }
        if (j < n && isDigit(text[j])) {
            long long e = 0;
            for (; j < n && isDigit(text[j]); ++j)
                if (e < kExpClamp)
                    e = e * 10 + (text[j] - u'0');
            scale += expNegative ? -e : e;
        }
    }
    if (digits.empty())
        return 0.0;
    if (dropped) {
        digits.push_back('1');
        --scale;
    }
    digits.push_back('e');
    digits += std::to_string(scale);

    double value = 0.0;
    const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                     std::chars_format::scientific);
    if (res.ec == std::errc::result_out_of_range)
        value = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

} // namespace dalmure
