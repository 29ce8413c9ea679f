// STUB: to be written (editor).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::openEditor() {}
bool Dalmure::PromptAnnoAdd() { return false; }
void Dalmure::Text1_Change() {}
void Dalmure::Text1_GotFocus() {}
void Dalmure::Text1_KeyDown(std::int16_t&, int) {}
void Dalmure::Text1_KeyPress(std::int16_t&) {}
void Dalmure::Text1_KeyUp(std::int16_t&, int) {}
void Dalmure::Text1_LostFocus() {}
void Dalmure::commitPendingEdit() {}
} // namespace dalmure
