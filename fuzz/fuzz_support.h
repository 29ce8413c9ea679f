// What the fuzz targets add to the shared rig (tests/support): a scratch application folder that
// lives as long as the process, and whole files written and read back.
#pragma once

#include "dalmure_test_access.h"
#include "harness.h"

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

// The shared rig: a fixed clock and one headless control in its own application folder.
using test::fixedNow;
using test::Rig;

} // namespace fuzz
} // namespace dalmure
