// STUB: to be written (annotation list).
#include "control/dalmure.h"

namespace dalmure {
void Dalmure::AnnoAdd(Str&, Str&, Str&) {}
std::int16_t Dalmure::AnnoCount() { return 0; }
Str Dalmure::AnnoTime(std::int32_t) { return {}; }
Str Dalmure::AnnoDesc(std::int32_t) { return {}; }
Str Dalmure::AnnoData(std::int32_t) { return {}; }
void Dalmure::AnnoDelete(std::int32_t&) {}
void Dalmure::ClearAll() {}
bool Dalmure::blValideGrid() { return false; }
void Dalmure::noteTimeOrderAround(std::int32_t) {}
Str Dalmure::strCleanText(const Str& text) { return text; }
} // namespace dalmure
