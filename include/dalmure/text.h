// The text type of the control's API: UTF-16 code units, so that lengths and positions count as
// the host's strings do; with the conversions from and to UTF-8.
#pragma once

#include <dalmure/dalmure_export.h>

#include <string>
#include <string_view>

namespace dalmure {

using Str = std::u16string;
using StrView = std::u16string_view;

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes become U+FFFD; lone surrogates become U+FFFD in UTF-8.
DALMURE_EXPORT Str fromUtf8(std::string_view utf8);
DALMURE_EXPORT std::string toUtf8(StrView text);

} // namespace dalmure
