// Shared by the journal tests: a temporary application folder, the problems a journal reports,
// and a tmpfs mounted for a test (full disk, read-only folder).
#pragma once

#include "harness.h"
#include "journal/journal.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace dalmure::journal::test {

namespace fs = std::filesystem;

using dalmure::test::s;
using dalmure::test::u;

inline constexpr std::string_view kFolder = "Recovery";

// The shared temporary application folder, with the journals' folder inside it.
class TempAppFolder : public dalmure::test::TempAppFolder {
  public:
    std::string journals() const { return native() + "/" + std::string(kFolder); }

    // The names in the journals' folder, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(journals(), ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct Problem {
    std::int32_t number;
    std::string text;
};

// Collects what a journal or a recovery reports.
struct Reports {
    std::vector<Problem> seen;
    Report sink() {
        return [this](std::int32_t number, const Str& text) {
            seen.push_back({number, toUtf8(text)});
        };
    }
    JournalOptions options() {
        JournalOptions o;
        o.report = sink();
        return o;
    }
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// A tmpfs mounted on a folder for the length of a test. Mounting needs privileges a test may
// not have: mounted() then says so and the test is skipped.
class TmpfsMount {
  public:
    TmpfsMount(const std::string& where, const std::string& options, bool readOnly)
        : where_(where) {
        fs::create_directories(where);
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                           options.c_str()) == 0;
    }
    ~TmpfsMount() {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;
    bool mounted() const { return mounted_; }
    // Makes the mounted file system read-only (or writable again).
    bool remount(bool readOnly, const std::string& options) {
        return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0),
                       options.c_str()) == 0;
    }

  private:
    std::string where_;
    bool mounted_ = false;
};

} // namespace dalmure::journal::test
