// STUB: to be written (start-up).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::UserControl_Initialize() {}
Str Dalmure::strFindData(Str, std::int16_t) { return {}; }
Str Dalmure::ChargeLangue(const Str& strMsgId, const Str& strDefault) {
    return catalogue_.ChargeLangue(strMsgId, strDefault, strLangColumn);
}
Str Dalmure::iniPath() const { return appFolder_ + u"/ORClient.ini"; }
} // namespace dalmure
