// The writing tools' tests take the shared scratch folder (tests/support/temp_folder.h), with the
// paths as the tools take them.
#pragma once

#include "temp_folder.h"

#include <filesystem>
#include <string>

namespace dalmure::writing::test {

using dalmure::test::s;
using dalmure::test::u;

class ScratchFolder : public dalmure::test::TempAppFolder {
  public:
    std::filesystem::path path() const { return native(); }
    std::filesystem::path file(const std::string& name) const { return path() / name; }
    Str str(const std::string& name) const { return fromUtf8(file(name).string()); }
    void write(const std::string& name, const std::string& bytes) const { writeBytes(name, bytes); }
};

} // namespace dalmure::writing::test
