// Shared pieces of the fuzz targets: a scratch application folder that lives as long as the
// process, a control on the headless platform in it, and the door to the control's private
// members (each fuzz target is its own program, so it defines the friend class for itself).
#pragma once

#include "../tests/unit/dalmure_test_access.h"
#include "control/dalmure.h"
#include "platform/headless/headless_platform.h"
#include "support/text.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace dalmure {

namespace fuzz {

// A scratch folder under the temporary directory, removed at exit.
inline const std::string& scratchFolder() {
    // Never destroyed: the removal at exit still needs it after static destructors ran.
    static const std::string* const path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/dalmure-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return new std::string(pattern);
    }();
    static const bool cleanup = std::atexit([] {
                                    std::error_code ec;
                                    std::filesystem::remove_all(*path, ec);
                                }) == 0;
    (void)cleanup;
    return *path;
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// 4 March 2026, 14:05:09.37, as in the unit tests.
inline platform::LocalTime fixedNow() {
    platform::LocalTime t;
    t.year = 2026, t.month = 3, t.day = 4;
    t.hour = 14, t.minute = 5, t.second = 9, t.hundredths = 37;
    return t;
}

// One headless control in its own application folder.
struct Rig {
    explicit Rig(const std::string& folder) : folder(folder) {
        std::filesystem::create_directories(folder);
        headless::HeadlessOptions options;
        options.now = fixedNow();
        platform = std::make_unique<headless::HeadlessPlatform>(options);
        control = std::make_unique<Dalmure>(*platform, fromUtf8(folder));
        platform->userResize(9600, 7200);
    }
    ~Rig() {
        control.reset();
        platform.reset();
    }
    std::string folder;
    std::unique_ptr<headless::HeadlessPlatform> platform;
    std::unique_ptr<Dalmure> control;
};

} // namespace fuzz
} // namespace dalmure
