// Shared pieces of the benchmarks: a scratch application folder, a control on the headless
// platform in it, annotation texts, and the door to the control's private members (the
// benchmarks are their own programs, so they define the friend class for themselves).
#pragma once

#include "../tests/unit/dalmure_test_access.h"
#include "control/dalmure.h"
#include "platform/headless/headless_platform.h"
#include "support/text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

namespace dalmure {

namespace bench {

namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dalmure-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

    void copyCatalogue() const {
        fs::copy_file(fs::path(DALMURE_TEST_FIXTURES) / "ORLngClient.MDB",
                      fs::path(path_) / "ORLngClient.MDB", fs::copy_options::overwrite_existing);
    }
    void copyTemplates() const {
        for (const char* name : {"pvTemplateFRA.html", "pvTemplateENG.html"})
            fs::copy_file(fs::path(DALMURE_SOURCE_DIR) / "share/templates" / name,
                          fs::path(path_) / name, fs::copy_options::overwrite_existing);
    }
    void removeLog() const {
        std::error_code ec;
        fs::remove_all(fs::path(path_) / "Log", ec);
    }
    // Lines in the month log (the fixed clock's month).
    std::size_t logLines() const {
        std::ifstream in(fs::path(path_) / "Log/2026-03/Dalmure.Log", std::ios::binary);
        std::size_t n = 0;
        std::string line;
        while (std::getline(in, line))
            ++n;
        return n;
    }

    // The first log line, without its quotes and CR LF ("" when none).
    std::string firstLogLine() const {
        std::ifstream in(fs::path(path_) / "Log/2026-03/Dalmure.Log", std::ios::binary);
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() >= 2)
            line = line.substr(1, line.size() - 2);
        return line;
    }

  private:
    std::string path_;
};

inline platform::LocalTime fixedNow() {
    platform::LocalTime t;
    t.year = 2026, t.month = 3, t.day = 4;
    t.hour = 14, t.minute = 5, t.second = 9, t.hundredths = 37;
    return t;
}

// One headless control, started and sized as dalmure-host does it.
struct Rig {
    explicit Rig(const TempFolder& folder) {
        headless::HeadlessOptions options;
        options.now = fixedNow();
        platform = std::make_unique<headless::HeadlessPlatform>(options);
        control = std::make_unique<Dalmure>(*platform, fromUtf8(folder.path()));
        platform->userResize(9600, 7200);
    }
    ~Rig() {
        control.reset();
        platform.reset();
    }
    std::unique_ptr<headless::HeadlessPlatform> platform;
    std::unique_ptr<Dalmure> control;
};

// "hh:mm:ss.cc" for a number of hundredths since midnight: ordinal order is time order.
inline Str timeText(std::int64_t hundredths) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%02d",
                  static_cast<int>(hundredths / 360000 % 100),
                  static_cast<int>(hundredths / 6000 % 60), static_cast<int>(hundredths / 100 % 60),
                  static_cast<int>(hundredths % 100));
    return fromUtf8(buf);
}

// A description of about 50 characters, varied a little.
inline Str description(std::uint64_t k) {
    static const char* const words[] = {"Witness",   "Counsel", "Judge",  "Exhibit",
                                        "Objection", "Recess",  "Ruling", "Cross-examination"};
    std::string s =
        std::string(words[k % 8]) + " " + std::to_string(k) + ": statement entered in the record";
    s.resize(50, '.');
    return fromUtf8(s);
}

constexpr std::int64_t kDay = 24LL * 360000;

// Fills the grid directly with n annotations in time order (main row bold as AnnoAdd leaves it,
// an empty data row), without the click handling: for benchmarks of what comes after the list
// is built.
inline void fillGrid(platform::Grid& g, std::int32_t n, const Str& data = {}) {
    for (std::int32_t k = 0; k < n; ++k) {
        const Str main =
            timeText(k * (kDay / (n + 1))) + u'\t' + description(static_cast<std::uint64_t>(k));
        if (k == 0) {
            g.setRow(0);
            g.setCol(0);
            g.setText(timeText(0));
            g.setCol(1);
            g.setText(description(0));
            g.setRow(1);
            g.setText(data);
        } else {
            g.addItem(main, g.rows());
            g.addItem(u"\t" + data, g.rows());
        }
    }
}
inline void fillGrid(Rig& rig, std::int32_t n, const Str& data = {}) {
    fillGrid(rig.platform->grid(), n, data);
}

} // namespace bench
} // namespace dalmure
