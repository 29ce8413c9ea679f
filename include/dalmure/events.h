// The events the control raises to its host. Handlers run synchronously inside the control's
// procedure; what a handler stores into a by-reference argument is seen by the control
// afterwards (AnnoIndex of AnnoDeleteRequest and AnnoModifiedDesc is the control's selection
// itself, ToolTipText its last announced tooltip).
#pragma once

#include <dalmure/text.h>

#include <cstdint>

namespace dalmure {

class DALMURE_EXPORT DalmureEvents {
  public:
    virtual ~DalmureEvents();
    // The user asked to delete annotation AnnoIndex; the host deletes it (AnnoDelete) or not.
    virtual void AnnoDeleteRequest(std::int16_t& AnnoIndex) { (void)AnnoIndex; }
    // The notes of annotation AnnoIndex changed.
    virtual void AnnoModified(std::int16_t AnnoIndex) { (void)AnnoIndex; }
    // The user renamed annotation AnnoIndex; Cancel = true keeps OldDesc.
    virtual void AnnoModifiedDesc(std::int16_t& AnnoIndex, Str& OldDesc, Str& NewDesc,
                                  bool& Cancel) {
        (void)AnnoIndex, (void)OldDesc, (void)NewDesc, (void)Cancel;
    }
    // The user asked for a new annotation; the host adds it (AnnoAdd) with the time it chooses.
    virtual void AnnoAdded(Str& AnnoTime, Str& AnnoDesc) { (void)AnnoTime, (void)AnnoDesc; }
    // The user asked to play the selected annotation.
    virtual void DblClick() {}
    // An annotation of a crashed session brought back into the list (RecoverSession).
    virtual void AnnoRecovered(std::int16_t AnnoIndex) { (void)AnnoIndex; }
    // The tooltip the control shows changed (empty when it is withdrawn).
    virtual void ToolTipChanged(Str& ToolTipText) { (void)ToolTipText; }
};

} // namespace dalmure
