// Reader of the client INI file, giving the results of the Windows private-profile reader:
// sections, keys and the file name itself matched without regard to case, blanks trimmed, one
// pair of quotes removed, values cut at 2047 characters, Windows-1252 text. Each file is parsed
// once per change and answered from memory while it stays the same.
#pragma once

#include "support/text.h"

namespace dalmure {

// The value of strKey in [strSection] of strFile (a full path), or strDefault when the file,
// section or key is missing. An existing key with an empty value gives "". refused, when given,
// tells whether something other than a regular file or a folder (a FIFO, a device) stood in
// the file's place and was not read.
Str ReadIni(const Str& strSection, const Str& strKey, const Str& strDefault, const Str& strFile,
            bool* refused = nullptr);

} // namespace dalmure
