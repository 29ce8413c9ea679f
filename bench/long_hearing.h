// Long hearings for benchmarks and tests: time texts in time order, descriptions of about 50
// characters, and a grid filled directly with n annotations.
#pragma once

#include "harness.h"
#include "platform/grid.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace dalmure {
namespace test {

// "hh:mm:ss.cc" for a number of hundredths since midnight: ordinal order is time order.
inline Str timeText(std::int64_t hundredths) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%02d",
                  static_cast<int>(hundredths / 360000 % 100),
                  static_cast<int>(hundredths / 6000 % 60), static_cast<int>(hundredths / 100 % 60),
                  static_cast<int>(hundredths % 100));
    return fromUtf8(buf);
}

// A description of about 50 characters, varied a little.
inline Str description(std::uint64_t k) {
    static const char* const words[] = {"Witness",   "Counsel", "Judge",  "Exhibit",
                                        "Objection", "Recess",  "Ruling", "Cross-examination"};
    std::string s =
        std::string(words[k % 8]) + " " + std::to_string(k) + ": statement entered in the record";
    s.resize(50, '.');
    return fromUtf8(s);
}

constexpr std::int64_t kDay = 24LL * 360000;

// Fills the grid directly with n annotations in time order (main row bold as AnnoAdd leaves it,
// an empty data row), without the click handling: for benchmarks of what comes after the list
// is built.
inline void fillGrid(platform::Grid& g, std::int32_t n, const Str& data = {}) {
    for (std::int32_t k = 0; k < n; ++k) {
        const Str main =
            timeText(k * (kDay / (n + 1))) + u'\t' + description(static_cast<std::uint64_t>(k));
        if (k == 0) {
            g.setRow(0);
            g.setCol(0);
            g.setText(timeText(0));
            g.setCol(1);
            g.setText(description(0));
            g.setRow(1);
            g.setText(data);
        } else {
            g.addItem(main, g.rows());
            g.addItem(u"\t" + data, g.rows());
        }
    }
}
inline void fillGrid(Rig& rig, std::int32_t n, const Str& data = {}) {
    fillGrid(rig.platform->grid(), n, data);
}

} // namespace test
} // namespace dalmure
