// STUB: to be written (text conversions).
#include "support/text.h"

namespace dalmure {
Str fromUtf8(std::string_view utf8) { return Str(utf8.begin(), utf8.end()); }
std::string toUtf8(StrView text) { return std::string(text.begin(), text.end()); }
Str fromCp1252(std::string_view bytes) { return Str(bytes.begin(), bytes.end()); }
std::string toCp1252(StrView text) { return std::string(text.begin(), text.end()); }
Str ucase(StrView text) { return Str(text); }
char16_t ucaseChar(char16_t c) { return c; }
Str decimal(long long value) { return fromUtf8(std::to_string(value)); }
} // namespace dalmure
