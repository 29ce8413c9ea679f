// STUB: to be written (minutes page).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::GenerateHTML(bool&) {}
void Dalmure::SetDataVariables(const Str&, const Str&) {}
} // namespace dalmure
