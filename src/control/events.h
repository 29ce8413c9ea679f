// The events the control raises to its host. Handlers run synchronously inside the
// control's procedure; what a handler stores into a by-reference argument is seen by the
// control afterwards (AnnoIndex of AnnoDeleteRequest and AnnoModifiedDesc is the control's
// selection itself, ToolTipText its last announced tooltip).
#pragma once

#include "support/text.h"

#include <cstdint>

namespace dalmure {

class DalmureEvents {
  public:
    virtual ~DalmureEvents() = default;
    virtual void AnnoDeleteRequest(std::int16_t& AnnoIndex) { (void)AnnoIndex; }
    virtual void AnnoModified(std::int16_t AnnoIndex) { (void)AnnoIndex; }
    virtual void AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc,
                                  bool& Cancel) {
        (void)AnnoIndex, (void)OldDesc, (void)NewDesc, (void)Cancel;
    }
    virtual void AnnoAdded(Str& AnnoTime, Str& AnnoDesc) { (void)AnnoTime, (void)AnnoDesc; }
    virtual void DblClick() {}
    // An annotation of a crashed session brought back into the list (RecoverSession).
    virtual void AnnoRecovered(std::int16_t AnnoIndex) { (void)AnnoIndex; }
    virtual void ToolTipChanged(Str& ToolTipText) { (void)ToolTipText; }
};

} // namespace dalmure
