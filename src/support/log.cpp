// The monthly log: <application folder>/Log/yyyy-mm/Dalmure.Log, one quoted line per call.
#include "support/log.h"

#include "platform/ids.h"
#include "support/errors.h"
#include "support/files.h"

#include <cmath>
#include <new>

namespace dalmure {

namespace {

void appendPadded(Str& out, long long value, int width) {
    const Str digits = decimal(value < 0 ? -value : value);
    if (value < 0)
        out += u'-';
    for (int i = static_cast<int>(digits.size()); i < width; ++i)
        out += u'0';
    out += digits;
}

// "yyyy-mm": the month folder's name.
Str monthName(const platform::LocalTime& t) {
    Str s;
    appendPadded(s, t.year, 4);
    s += u'-';
    appendPadded(s, t.month, 2);
    return s;
}

// Counts the WriteLog calls in progress on this Log, for the containment rule in GetLogPath.
class DepthGuard {
  public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    int& depth_;
};

} // namespace

Log::Log(Str appFolder, const platform::Clock& clock, platform::Screen& screen)
    : appFolder_(std::move(appFolder)), clock_(clock), screen_(screen) {}

Str Log::formatLine(std::int32_t number, const Str& description, const Str& label) const {
    // The date and time first, then the seconds-since-midnight clock, as the line is built.
    const platform::LocalTime t = clock_.now();
    const double seconds = clock_.secondsSinceMidnight();

    // Hundredths: the fraction of the second rounded to the nearest hundredth (halves up). The
    // clock's doubles carry binary noise (14:05:09.37 reads as 50709.369999...), which rounding
    // absorbs. A fraction of .995 or more would round to 100; the line's seconds are already
    // written, so it cannot carry into them, and it is written "99" instead.
    long hundredths = 0;
    if (std::isfinite(seconds) && seconds >= 0) {
        hundredths = std::lround((seconds - std::floor(seconds)) * 100.0);
        if (hundredths > 99)
            hundredths = 99;
        if (hundredths < 0)
            hundredths = 0;
    }

    Str line;
    line.reserve(64 + description.size() + label.size());
    line += u'"';
    appendPadded(line, t.year, 4);
    line += u'-';
    appendPadded(line, t.month, 2);
    line += u'-';
    appendPadded(line, t.day, 2);
    line += u' ';
    appendPadded(line, t.hour, 2);
    line += u':';
    appendPadded(line, t.minute, 2);
    line += u':';
    appendPadded(line, t.second, 2);
    line += u'.';
    appendPadded(line, hundredths, 2);
    line += u" : ";
    if (number != 0)
        line += decimal(number);
    line += u" : ";
    line += description;
    line += u" : ";
    line += label;
    line += u'"';
    return line;
}

Str Log::GetLogPath(Str& strPath) {
    const Str received = strPath;
    try {
        if (!files::exists(strPath))
            files::createFolder(strPath);
        if (strPath.empty() || strPath.back() != u'/')
            strPath += u'/';
        const Str month = strPath + monthName(clock_.now());
        if (!files::exists(month))
            files::createFolder(month);
        return month + u'/';
    } catch (const ControlError& e) {
        // Containment: a failure met while WriteLog itself is writing the report of an earlier
        // failure of GetLogPath (depth 2 or more) is dropped, so that a log root that can never
        // be created costs at most two attempts and never recurses further.
        if (depth_ <= 1)
            writeTrapped(e.number(), e.description(), u"errDalmure_GetLogPath");
    } catch (const std::bad_alloc&) {
        if (depth_ <= 1)
            writeTrapped(7, u"Out of memory", u"errDalmure_GetLogPath");
    }
    return received;
}

void Log::WriteLog(std::int32_t Number, const Str& Description, const Str& Label) {
    DepthGuard guard(depth_);
    Str root = appFolder_;
    if (root.empty() || root.back() != u'/')
        root += u'/';
    root += u"Log/";
    const Str file = GetLogPath(root) + u"Dalmure.Log";
    Str line = formatLine(Number, Description, Label);
    line += u"\r\n";
    files::appendAll(file, toCp1252(line));
    screen_.setMousePointer(platform::kPointerDefault);
}

void Log::writeTrapped(std::int32_t number, const Str& description, const Str& label) noexcept {
    try {
        WriteLog(number, description, label);
    } catch (...) {
        // The log itself cannot be written: the line is lost, nothing reaches the host.
    }
}

} // namespace dalmure
