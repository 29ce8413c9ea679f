// Text type and conversions used throughout the control.
//
// Every string inside the control is a sequence of UTF-16 code units, so that lengths,
// positions and comparisons count exactly as the host's strings do. Files on disk are
// Windows-1252; the host protocol and the Qt layer speak UTF-8 or QString.
#pragma once

#include <dalmure/text.h>

#include <string>
#include <string_view>

namespace dalmure {

// Windows-1252 <-> UTF-16. Undefined 1252 bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the
// same code point, as the Windows converter does; a character 1252 cannot hold is written "?".
Str fromCp1252(std::string_view bytes);
std::string toCp1252(StrView text);

// Upper-casing as the host language's UCase does it: every letter that has a simple
// upper-case mapping in the Basic Multilingual Plane (ç -> Ç, é -> É, ÿ -> Ÿ, ...).
Str ucase(StrView text);
// A text as the control keeps it: the apostrophe becomes a grave accent; backslash, "+", "|"
// and "&" are dropped.
Str cleanText(const Str& text);
char16_t ucaseChar(char16_t c);
// Equal once both sides are upper-cased as ucase does it.
bool equalNoCase(StrView a, StrView b);

// Decimal text of an integer ("-12", "0").
Str decimal(long long value);

} // namespace dalmure
