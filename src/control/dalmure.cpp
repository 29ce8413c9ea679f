// The control's core: construction, the background colour, the modes that withdraw commands,
// the container's focus and ambient notifications, and the button click dispatch.
#include "control/dalmure.h"

#include "control/trap.h"
#include "settings/startup.h"
#include "support/numeric.h"

#include <utility>

namespace dalmure {

using platform::ButtonId;

namespace {
// The modes move the buttons by one button step.
constexpr std::int32_t kButtonStep = 840;
} // namespace

Dalmure::Dalmure(platform::Platform& platform, Str appFolder)
    : p_(platform), log_(appFolder, platform.clock(), platform.screen()),
      settings_(std::move(appFolder), platform.catalogue(), platform.screen(), log_),
      minutes_(platform, settings_, log_, {NoDossier, DateCreated, UserName}, *this) {
    p_.setNotifications(this);
    startUp(p_, settings_, log_, iSelected);
}

Dalmure::~Dalmure() {
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
    trap(u"errDalmure_NoPlay", [&] {
        blNoPlay = value;
        const std::int32_t move = value ? -kButtonStep : kButtonStep;
        button(ButtonId::CWButton3).setVisible(!value);
        for (ButtonId id : {ButtonId::CWButton1, ButtonId::CWButton2, ButtonId::CWButton4,
                            ButtonId::CWButton5, ButtonId::CWButton6_0, ButtonId::CWButton6_1}) {
            platform::CommandButton& b = button(id);
            b.setLeft(b.left() + move);
        }
    });
}

void Dalmure::NoPV(bool& value) {
    blNoPV = value;
    platform::CommandButton& del = button(ButtonId::CWButton1);
    if (value) {
        del.setLeft(button(ButtonId::CWButton2).left());
        button(ButtonId::CWButton2).setVisible(false);
    } else {
        del.setLeft(button(ButtonId::CWButton5).left() + kButtonStep);
        button(ButtonId::CWButton2).setVisible(true);
    }
    button(ButtonId::CWButton5).setVisible(!value);
    button(ButtonId::CWButton6_0).setLeft(del.left() + kButtonStep);
    button(ButtonId::CWButton6_1).setLeft(del.left() + kButtonStep);
}

void Dalmure::NoModif(bool& blNoModifSet) {
    blNoModif = blNoModifSet;
    button(ButtonId::CWButton1).setVisible(!blNoModifSet);
    button(ButtonId::CWButton4).setVisible(!blNoModifSet);
}

// --- Container notifications -------------------------------------------------------------

void Dalmure::UserControl_EnterFocus() {
    try {
        text1().setFocus();
    } catch (...) {
        // A hidden editor cannot take the focus; nothing to report.
    }
}

void Dalmure::buttonClick(ButtonId id) {
    switch (id) {
    case ButtonId::CWButton1:
        CWButton1_Click();
        break;
    case ButtonId::CWButton2:
        minutes_.view();
        break;
    case ButtonId::CWButton3:
        CWButton3_Click();
        break;
    case ButtonId::CWButton4:
        CWButton4_Click();
        break;
    case ButtonId::CWButton5:
        minutes_.print();
        break;
    case ButtonId::CWButton6_0:
        CWButton6_Click(0);
        break;
    case ButtonId::CWButton6_1:
        CWButton6_Click(1);
        break;
    }
}

// --- Views and log -----------------------------------------------------------------------

Dalmure::PrivateState Dalmure::privateState() const {
    return {iSelected, settings_.languageColumn(), strLastToolTip, strEditStart, blScrolling};
}

void Dalmure::writeLogLine(std::int32_t number, const Str& description, const Str& label) {
    log_.writeTrapped(number, description, label);
}

} // namespace dalmure
