// STUB: to be written (INI reader).
#include "support/ini_reader.h"

namespace dalmure {
Str ReadIni(const Str&, const Str&, const Str& strDefault, const Str&) { return strDefault; }
} // namespace dalmure
