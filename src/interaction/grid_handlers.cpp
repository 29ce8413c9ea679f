// STUB: to be written (grid handlers).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::MSFlexGrid1_Click() {}
void Dalmure::MSFlexGrid1_DblClick() {}
void Dalmure::MSFlexGrid1_KeyPress(std::int16_t&) {}
void Dalmure::MSFlexGrid1_LeaveCell() {}
void Dalmure::MSFlexGrid1_Scroll() {}
void Dalmure::MSFlexGrid1_MouseMove() {}
void Dalmure::MSFlexGrid1_MouseUp(int) {}
void Dalmure::UserControl_MouseMove() {}
void Dalmure::withdrawToolTip() {}
} // namespace dalmure
