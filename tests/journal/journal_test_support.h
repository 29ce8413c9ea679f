// Shared by the journal tests: a temporary application folder, the problems a journal reports,
// and a tmpfs mounted for a test (full disk, read-only folder).
#pragma once

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

inline Str u(std::string_view utf8) {
    return fromUtf8(utf8);
}

inline constexpr std::string_view kFolder = "Recovery";

class TempAppFolder {
  public:
    TempAppFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dalmure-journal-XXXXXX";
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (!::mkdtemp(buf.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = buf.data();
    }
    ~TempAppFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempAppFolder(const TempAppFolder&) = delete;
    TempAppFolder& operator=(const TempAppFolder&) = delete;

    const std::string& native() const { return path_; }
    Str path() const { return fromUtf8(path_); }
    std::string journals() const { return path_ + "/" + std::string(kFolder); }

    // The names in the journals' folder, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(journals(), ec))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
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
