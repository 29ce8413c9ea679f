// Dialogs, shell, browser component, printer, screen and clock of the in-memory platform.
#include "platform/design.h"
#include "platform/headless/headless_components.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace dalmure::headless {

namespace {

bool isExistingFile(const Str& path, const Str& directory) {
    if (path.empty()) {
        return false;
    }
    std::filesystem::path p(toUtf8(path));
    if (p.is_relative() && !directory.empty()) {
        p = std::filesystem::path(toUtf8(directory)) / p;
    }
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec);
}

} // namespace

// --- Dialogs ----------------------------------------------------------------------------------

Str HeadlessDialogs::inputBox(const Str& message, const Str& title, const Str& defaultText) {
    Str answer;
    if (!answers_.empty()) {
        answer = answers_.front().value_or(Str());
        answers_.pop_front();
    }
    if (ctx_.happenings) {
        ctx_.happenings->prompt(title, message, defaultText, answer);
    }
    return answer;
}

void HeadlessDialogs::messageBox(const Str& message, const Str& title) {
    if (ctx_.happenings) {
        ctx_.happenings->messageBox(title, message);
    }
}

// --- Browser component, printer, screen -------------------------------------------------------

HeadlessBrowser::HeadlessBrowser(Context& ctx) : ctx_(ctx), width_(design::kBrowserWidth) {}

void HeadlessBrowser::navigate(const Str& path) {
    if (ctx_.happenings) {
        ctx_.happenings->navigate(path);
    }
}

void HeadlessPrinter::setPrintSize(std::int16_t size) {
    size_ = size;
    if (happenings_) {
        happenings_->printSize(size);
    }
}

void HeadlessScreen::setMousePointer(int pointer) {
    pointer_ = pointer;
    if (ctx_.happenings) {
        ctx_.happenings->pointer(pointer);
    }
}

// --- Shell ------------------------------------------------------------------------------------

int HeadlessShell::findExecutable(const Str& file, const Str& directory, Str& programBuffer) {
    constexpr int kFileNotFound = 2;
    constexpr int kNoAssociation = 31;
    constexpr int kFound = 42;
    if (!isExistingFile(file, directory)) {
        return kFileNotFound;
    }
    if (!htmlProgram_ || htmlProgram_->empty()) {
        return kNoAssociation;
    }
    programBuffer = *htmlProgram_;
    return kFound;
}

int HeadlessShell::shellExecute(const Str& /*operation*/, const Str& program,
                                const std::vector<Str>& arguments, const Str& directory,
                                int /*showMode*/) {
    if (ctx_.happenings) {
        ctx_.happenings->launch(program, platform::quotedArguments(arguments));
    }
    return isExistingFile(program, directory) ? 42 : 2;
}

// --- Clock ------------------------------------------------------------------------------------

platform::LocalTime HeadlessClock::now() const {
    if (fixed_) {
        return *fixed_;
    }
    const auto wall = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(wall);
    std::tm tm{};
    localtime_r(&t, &tm);
    const auto since = wall.time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since).count() % 1000;
    platform::LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = std::min(tm.tm_sec, 59);
    lt.hundredths = static_cast<int>((ms < 0 ? ms + 1000 : ms) / 10);
    return lt;
}

double HeadlessClock::secondsSinceMidnight() const {
    const platform::LocalTime t = now();
    return t.hour * 3600.0 + t.minute * 60.0 + t.second + t.hundredths / 100.0;
}

} // namespace dalmure::headless
