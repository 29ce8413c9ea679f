// File-system helpers over real files. Paths are Str (UTF-16) inside the control and UTF-8 on
// disk. Failures raise ControlErrors with the host language's file error numbers.
#pragma once

#include "support/text.h"

#include <string>

namespace dalmure::files {

std::string toNative(const Str& path);

// The path of folder/name where name is matched without regard to case when no file of the
// exact name exists; folder/name itself when nothing matches.
Str findNoCase(const Str& folder, const Str& name);

bool exists(const Str& path);         // anything of that name
bool isRegularFile(const Str& path);  // a normal file (not a folder)
void createFolder(const Str& path);   // the last level only
void removeFile(const Str& path);

// Whole-file reads and writes of bytes.
std::string readAll(const Str& path);
void writeAll(const Str& path, const std::string& bytes);   // created or emptied
void appendAll(const Str& path, const std::string& bytes);  // created when missing

} // namespace dalmure::files
