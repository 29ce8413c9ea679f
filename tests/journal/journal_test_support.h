// Shared by the journal tests: a temporary application folder, the problems a journal reports,
// and a tmpfs mounted for a test (full disk, read-only folder).
#pragma once

#include "harness.h"
#include "journal/journal.h"
#include "support/text.h"
#include "tmpfs_mount.h"

#include <gtest/gtest.h>

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

// Collects what a journal or a recovery reports.
struct Reports {
    struct Problem {
        std::int32_t number;
        std::string text;
    };
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

using dalmure::test::readFile;
using dalmure::test::TmpfsMount;
using dalmure::test::writeFile;

} // namespace dalmure::journal::test
