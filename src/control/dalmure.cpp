// STUB: to be written (control core).
#include "control/dalmure.h"

namespace dalmure {

Dalmure::Dalmure(platform::Platform& platform, Str appFolder)
    : p_(platform), appFolder_(std::move(appFolder)),
      log_(appFolder_, platform.clock(), platform.screen()),
      catalogue_(platform.catalogue(), platform.screen(), log_, appFolder_) {
    p_.setNotifications(this);
    UserControl_Initialize();
}
Dalmure::~Dalmure() { p_.setNotifications(nullptr); }
void Dalmure::LetBackColor(double) {}
void Dalmure::AllowRefreshPV(bool& blRefresh) { grid().setVisible(blRefresh); }
void Dalmure::NoPlay(bool& value) { blNoPlay = value; }
void Dalmure::NoPV(bool& value) { blNoPV = value; }
void Dalmure::NoModif(bool& value) { blNoModif = value; }
void Dalmure::UserControl_EnterFocus() {}
void Dalmure::UserControl_AmbientChanged(const Str&) {}
Dalmure::PrivateState Dalmure::privateState() const {
    return {iSelected, strLangColumn, strLastToolTip, strEditStart, blScrolling};
}
void Dalmure::writeLogLine(std::int32_t number, const Str& description, const Str& label) {
    log_.writeTrapped(number, description, label);
}
void Dalmure::logTrapped(std::int32_t number, const Str& description, const Str& label) {
    log_.writeTrapped(number, description, label);
}
void Dalmure::buttonClick(platform::ButtonId) {}

} // namespace dalmure
