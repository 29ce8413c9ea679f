// Who follows the control's list as it changes, beside the journal: the hearing record
// (record/station.h). Each call comes once the change is in the list, on the control's thread,
// with the list's 0-based indexes as they are when the change is made.
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure {

class ChangeFeed {
  public:
    virtual ~ChangeFeed() = default;
    virtual void added(std::int32_t index, const Str& time, const Str& description) = 0;
    virtual void deleted(std::int32_t index) = 0;
    virtual void renamed(std::int32_t index, const Str& description) = 0;
    virtual void notesCommitted(std::int32_t index, const Str& notes) = 0;
    virtual void cleared() = 0;
    // The annotation just added at index came back from the crash journal.
    virtual void recovered(std::int32_t index) { (void)index; }
};

} // namespace dalmure
