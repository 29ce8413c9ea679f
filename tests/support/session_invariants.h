// What must hold after every step of a random session on the headless control (the sequence
// fuzzer and the unit tests' replayed sessions).
#pragma once

#include "control/dalmure_p.h"
#include "dalmure_test_access.h"
#include "platform/grid.h"

#include <cstdint>
#include <regex>
#include <string>

namespace dalmure::test {

class SessionInvariants {
  public:
    // What is broken, or "". Once a blank time was added, a later annotation may legitimately be
    // written over it out of order; until the list is emptied the control's count must be exact.
    std::string checkGrid(DalmurePrivate& c, platform::Grid& g) {
        const std::int32_t rows = g.rows();
        if (rows < 2 || rows % 2 != 0)
            return "rows " + std::to_string(rows);

        std::int32_t breaks = 0;
        for (std::int32_t r = 0; r < rows; r += 2) {
            if (g.textMatrix(r, 0).empty())
                blankSeen_ = true;
            if (r + 2 < rows && g.textMatrix(r, 0) > g.textMatrix(r + 2, 0))
                ++breaks;
        }
        const std::int32_t counted = DalmureTestAccess::timeOrderBreaks(c);
        if (breaks != counted)
            return "time-order count " + std::to_string(breaks) + " vs " + std::to_string(counted);
        if (breaks != 0 && !blankSeen_)
            return "times out of order";

        // AnnoCount reads row 0 in the current column.
        const bool blank = rows == 2 && g.textMatrix(0, g.col()).empty();
        const std::int16_t count = c.AnnoCount();
        if (count != (blank ? 0 : rows / 2))
            return "AnnoCount " + std::to_string(count) + " rows " + std::to_string(rows);
        if (rows == 2 && g.textMatrix(0, 0).empty())
            blankSeen_ = false;
        return {};
    }

    // "" for a well-formed line at the rig's clock; 51 is the trap's catch-all for internal errors.
    static std::string checkLogLine(const std::string& line) {
        static const std::regex shape(
            "2026-03-04 14:05:09\\.37 : (-?[0-9]+)? : [^\r\n]* : errDalmure_[A-Za-z0-9_]+");
        std::smatch m;
        if (!std::regex_match(line, m, shape))
            return "log line shape: " + line;
        if (m[1] == "51")
            return "internal error trapped: " + line;
        return {};
    }

  private:
    bool blankSeen_ = false;
};

} // namespace dalmure::test
