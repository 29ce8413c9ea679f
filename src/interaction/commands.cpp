// STUB: to be written (buttons and menu).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::CWButton1_Click() {}
void Dalmure::CWButton3_Click() {}
void Dalmure::CWButton4_Click() {}
void Dalmure::CWButton6_Click(std::int16_t) {}
void Dalmure::CWButton_MouseMove(platform::ButtonId) {}
void Dalmure::menuItemClick(platform::MenuItemId) {}
} // namespace dalmure
