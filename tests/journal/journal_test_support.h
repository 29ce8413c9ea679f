// Shared by the journal tests: a temporary application folder and the problems a journal reports.
#pragma once

#include "harness.h"
#include "journal/journal.h"
#include "support/text.h"
#include "tmpfs_mount.h"

#include <gtest/gtest.h>

namespace dalmure::journal::test {

namespace fs = std::filesystem;
using dalmure::test::readFile;
using dalmure::test::s;
using dalmure::test::TmpfsMount;
using dalmure::test::u;
using dalmure::test::writeFile;

inline constexpr std::string_view kFolder = "Recovery";

class TempAppFolder : public dalmure::test::TempAppFolder {
  public:
    std::string journals() const { return native() + "/" + std::string(kFolder); }
    // The names in the journals' folder, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(journals(), ec))
            names.push_back(e.path().filename().string());
        std::ranges::sort(names);
        return names;
    }
};

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

} // namespace dalmure::journal::test
