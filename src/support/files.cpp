// STUB: to be written (files).
#include "support/files.h"

namespace dalmure::files {
std::string toNative(const Str& path) { return std::string(path.begin(), path.end()); }
Str findNoCase(const Str& folder, const Str& name) { return folder + u"/" + name; }
bool exists(const Str&) { return false; }
bool isRegularFile(const Str&) { return false; }
void createFolder(const Str&) {}
void removeFile(const Str&) {}
std::string readAll(const Str&) { return {}; }
void writeAll(const Str&, const std::string&) {}
void appendAll(const Str&, const std::string&) {}
} // namespace dalmure::files
