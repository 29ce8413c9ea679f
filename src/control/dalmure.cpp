// The control's core: construction, the background colour, the modes that withdraw commands,
// the container's focus and ambient notifications, and the button click dispatch.
#include "control/dalmure_p.h"
#include "journal/journal.h"
#include "support/log_labels.h"
#include "writing/find.h"

#include "control/trap.h"
#include "interaction/notes_writing.h"
#include "settings/startup.h"
#include "support/numeric.h"

#include <utility>

namespace dalmure {

using platform::ButtonId;

DalmureEvents::~DalmureEvents() = default;

DalmurePrivate::DalmurePrivate(platform::Platform& platform, Str appFolder)
    : p_(platform),
      log_(appFolder, platform.clock(),
           [&screen = platform.screen()] { screen.setMousePointer(platform::kPointerDefault); }),
      settings_(std::move(appFolder), platform.catalogue(), platform.screen(), log_),
      minutes_(platform, settings_, log_, {NoDossier, DateCreated, UserName}, *this),
      commands_(platform, log_, minutes_, *this, PVStyle, LockPVStyle),
      writing_(std::make_unique<NotesWriting>(log_)) {
    p_.setNotifications(this);
    startUp(p_, settings_, log_, iSelected);
    trap(label::startUp, [&] {
        writing_->configure(settings_);
        writing_->setLanguageColumn(settings_.languageColumn());
    });
    HearingId(Str());
    startJournal();
}

DalmurePrivate::~DalmurePrivate() {
    closeJournal();
    p_.setNotifications(nullptr);
}

// --- Background colour -------------------------------------------------------------------

void DalmurePrivate::LetBackColor(double value) {
    lBackColor = toLong(value); // Overflow goes back to the host
    p_.surface().setBackColor(lBackColor);
    p_.surface().propertyChanged(u"BackColor");
    applyAmbientChange(u"BackColor");
}

void DalmurePrivate::applyAmbientChange(const Str& PropertyName) {
    trap(label::ambientChanged, [&] {
        if (PropertyName != u"BackColor")
            return;
        for (ButtonId id : platform::kAllButtons)
            button(id).setButtonColor(p_.surface().backColor());
    });
}

// --- Refresh switch and modes ------------------------------------------------------------

void DalmurePrivate::AllowRefreshPV(bool& blRefresh) {
    grid().setVisible(blRefresh);
}

void DalmurePrivate::NoPlay(bool& value) {
    commands_.setNoPlay(value);
}

void DalmurePrivate::NoPV(bool& value) {
    commands_.setNoView(value);
}

void DalmurePrivate::NoModif(bool& blNoModifSet) {
    commands_.setNoModify(blNoModifSet);
}

// --- Container notifications -------------------------------------------------------------

void DalmurePrivate::focusNotesEditor() {
    try {
        // Open notes whose row the clerk scrolled away come back into view to take the keys.
        const std::int32_t row = editorRow();
        if (row >= 0 && !notesEditor().visible()) {
            platform::Grid& g = grid();
            const std::int32_t pos = g.rowPos(row);
            if (pos < 0 || pos + g.rowHeight(row) > g.height()) {
                std::int32_t top = row - 1;
                EnsureVisible(top);
            }
            PlaceEditor();
        }
        notesEditor().setFocus();
    } catch (...) {
        // A hidden editor cannot take the focus; nothing to report.
    }
}

// --- Views and log -----------------------------------------------------------------------

DalmurePrivate::PrivateState DalmurePrivate::privateState() const {
    return {iSelected, settings_.languageColumn(), commands_.lastToolTip(),
            editorState_.startText(), blScrolling};
}

void DalmurePrivate::writeLogLine(std::int32_t number, const Str& description, const Str& label) {
    log_.writeTrapped(number, description, label);
}

} // namespace dalmure
