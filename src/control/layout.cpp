// STUB: to be written (layout).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::UserControl_Resize() {}
void Dalmure::ResizeGrid() {}
void Dalmure::SetRowHeight(std::int16_t&, bool&, bool&) {}
void Dalmure::EnsureVisible(std::int32_t&) {}
void Dalmure::ClearCellBackColor() {}
} // namespace dalmure
