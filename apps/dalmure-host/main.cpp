// dalmure-host: hosts one Dalmure control and lets another program drive it over JSON Lines on
// standard input and output.
#include "host_platform.h"
#include "session.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kUsage =
    "usage: dalmure-host --app-dir DIR [--platform headless|qt] [--now YYYY-MM-DDTHH:MM:SS.cc]\n"
    "                    [--size WIDTHxHEIGHT] [--html-program PATH] [--print-pdf FILE]\n"
    "                    [--record CONNSTRING] [--hearing ID [--follow yes]] [--station NAME]\n";

int fail(const std::string& message) {
    std::cerr << "dalmure-host: " << message << '\n' << kUsage;
    return 2;
}

// The folder made absolute without resolving links, "." and ".." removed, no trailing "/".
std::string absoluteFolder(const std::string& dir) {
    std::filesystem::path p = std::filesystem::absolute(dir).lexically_normal();
    std::string s = p.string();
    while (!s.empty() && s.back() == '/') {
        s.pop_back();
    }
    return s;
}

bool parseSize(const std::string& text, std::int32_t& w, std::int32_t& h) {
    auto x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 == text.size()) {
        return false;
    }
    try {
        std::size_t used = 0;
        long long wl = std::stoll(text.substr(0, x), &used);
        if (used != x) {
            return false;
        }
        long long hl = std::stoll(text.substr(x + 1), &used);
        if (used != text.size() - x - 1 || wl < 0 || hl < 0 || wl > INT32_MAX || hl > INT32_MAX) {
            return false;
        }
        w = static_cast<std::int32_t>(wl);
        h = static_cast<std::int32_t>(hl);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace dalmure;
    host::PlatformOptions platformOptions;
    host::SessionOptions sessionOptions;
    std::optional<std::string> appDir;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        std::string value;
        auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            return fail("missing value after " + arg);
        }
        if (arg == "--app-dir") {
            appDir = value;
        } else if (arg == "--platform") {
            platformOptions.name = value;
        } else if (arg == "--now") {
            platform::LocalTime t;
            if (!host::parseInstant(value, t)) {
                return fail("--now wants YYYY-MM-DDTHH:MM:SS.cc, not \"" + value + "\"");
            }
            platformOptions.now = t;
        } else if (arg == "--size") {
            if (!parseSize(value, sessionOptions.width, sessionOptions.height)) {
                return fail("--size wants WIDTHxHEIGHT in twips, not \"" + value + "\"");
            }
        } else if (arg == "--html-program") {
            platformOptions.htmlProgram = fromUtf8(value);
        } else if (arg == "--record") {
            sessionOptions.record = value;
        } else if (arg == "--hearing") {
            sessionOptions.hearing = value;
        } else if (arg == "--station") {
            sessionOptions.station = value;
        } else if (arg == "--follow") {
            sessionOptions.follow = value == "yes" || value == "true" || value == "1";
        } else if (arg == "--print-pdf") {
            platformOptions.printPdf = value;
        } else {
            return fail("unknown option " + arg);
        }
    }
    if (!appDir || appDir->empty()) {
        return fail("--app-dir is required");
    }
    sessionOptions.appDir = fromUtf8(absoluteFolder(*appDir));

    std::ios::sync_with_stdio(false);
    std::string error;
    int code = host::runOnPlatform(
        platformOptions,
        [&](host::HostPlatform& platform) {
            host::Session session(platform, sessionOptions, std::cout);
            return session.run(std::cin);
        },
        error);
    if (!error.empty()) {
        std::cerr << "dalmure-host: " << error << '\n';
    }
    return code;
}
