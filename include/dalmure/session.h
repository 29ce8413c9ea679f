// What the journal of a session that ended without closing holds, as the control lists it.
#pragma once

#include <dalmure/text.h>

#include <cstdint>
#include <string>

namespace dalmure::journal {

// The case fields the host gave the control (printed on the minutes).
struct CaseFields {
    Str noDossier, dateCreated, userName;
    bool operator==(const CaseFields&) const = default;
};

// A journal left behind by a control that crashed or was killed.
struct FoundJournal {
    std::string id;
    bool damaged = false;
    Str problem; // why it cannot be read, when damaged
    CaseFields caseFields;
    // The identity of the hearing it was taken for (HearingId), empty when it holds none; and
    // whether that is another hearing than the one of the control that lists it (RecoverSession
    // refuses it unless asked to bring it into this one).
    Str hearingId;
    bool otherHearing = false;
    std::int64_t lastChange = 0; // ms since the epoch
    std::int32_t annotations = 0;
    // Annotations with notes (committed, or typed and not committed): what a host that stored
    // nothing of this session would lose.
    std::int32_t unsavedNotes = 0;
    bool pendingText = false; // text typed and not committed
};

} // namespace dalmure::journal
