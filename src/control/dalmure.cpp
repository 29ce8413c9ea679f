// The control's core: construction, the background colour, the modes that withdraw commands,
// the container's focus and ambient notifications, and the button click dispatch.
#include "control/dalmure.h"
#include "journal/journal.h"

#include "control/trap.h"
#include "settings/startup.h"
#include "support/numeric.h"

#include <utility>

namespace dalmure {

using platform::ButtonId;

Dalmure::Dalmure(platform::Platform& platform, Str appFolder)
    : p_(platform), log_(appFolder, platform.clock(), platform.screen()),
      settings_(std::move(appFolder), platform.catalogue(), platform.screen(), log_),
      minutes_(platform, settings_, log_, {NoDossier, DateCreated, UserName}, *this),
      commands_(platform, log_, minutes_, *this, PVStyle, LockPVStyle) {
    p_.setNotifications(this);
    startUp(p_, settings_, log_, iSelected);
    startJournal();
}

Dalmure::~Dalmure() {
    closeJournal();
    p_.setNotifications(nullptr);
}

// --- Background colour -------------------------------------------------------------------

void Dalmure::LetBackColor(double value) {
    lBackColor = toLong(value); // Overflow goes back to the host
    p_.surface().setBackColor(lBackColor);
    p_.surface().propertyChanged(u"BackColor");
    UserControl_AmbientChanged(u"BackColor");
}

void Dalmure::UserControl_AmbientChanged(const Str& PropertyName) {
    trap(u"errUserControl_AmbientChanged", [&] {
        if (PropertyName != u"BackColor")
            return;
        for (ButtonId id : platform::kAllButtons)
            button(id).setButtonColor(p_.surface().backColor());
    });
}

// --- Refresh switch and modes ------------------------------------------------------------

void Dalmure::AllowRefreshPV(bool& blRefresh) {
    grid().setVisible(blRefresh);
}

void Dalmure::NoPlay(bool& value) {
    commands_.setNoPlay(value);
}

void Dalmure::NoPV(bool& value) {
    commands_.setNoView(value);
}

void Dalmure::NoModif(bool& blNoModifSet) {
    commands_.setNoModify(blNoModifSet);
}

// --- Container notifications -------------------------------------------------------------

void Dalmure::UserControl_EnterFocus() {
    try {
        notesEditor().setFocus();
    } catch (...) {
        // A hidden editor cannot take the focus; nothing to report.
    }
}

// --- Views and log -----------------------------------------------------------------------

Dalmure::PrivateState Dalmure::privateState() const {
    return {iSelected, settings_.languageColumn(), commands_.lastToolTip(), strEditStart,
            blScrolling};
}

void Dalmure::writeLogLine(std::int32_t number, const Str& description, const Str& label) {
    log_.writeTrapped(number, description, label);
}

} // namespace dalmure
