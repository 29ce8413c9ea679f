// STUB: to be written (view and print).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::CWButton2_Click() {}
void Dalmure::CWButton5_Click() {}
} // namespace dalmure
