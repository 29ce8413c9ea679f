// Helpers shared by the writing tools' tests: UTF-8 literals as the control's text, and a
// scratch folder removed at the end of each test.
#pragma once

#include "support/text.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace dalmure::writing::test {

inline Str u(const std::string& utf8) {
    return fromUtf8(utf8);
}
inline std::string s(StrView text) {
    return toUtf8(text);
}

class ScratchFolder {
  public:
    ScratchFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("dalmure-writing-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path file(const std::string& name) const { return path_ / name; }
    Str str(const std::string& name) const { return fromUtf8(file(name).string()); }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(file(name), std::ios::binary | std::ios::trunc) << bytes;
    }

  private:
    std::filesystem::path path_;
};

} // namespace dalmure::writing::test
