// The monthly log: <application folder>/Log/yyyy-mm/Dalmure.Log, one quoted line per call.
#include "support/log.h"
#include "support/log_labels.h"

#include "support/errors.h"
#include "support/files.h"

#include <cmath>
#include <new>
#include <optional>
#include <syslog.h>

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
Str monthName(const LocalTime& t) {
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

// A field as the line carries it: a line break inside it would end the line early and let
// the rest pass for a line of its own, so each CR and each LF is written as a blank.
void appendField(Str& line, const Str& field) {
    const std::size_t start = line.size();
    line += field;
    for (std::size_t i = start; i < line.size(); ++i)
        if (line[i] == u'\r' || line[i] == u'\n')
            line[i] = u' ';
}

void addSlash(Str& path) {
    if (path.empty() || path.back() != u'/')
        path += u'/';
}

} // namespace

Log::Log(Str appFolder, const Clock& clock, std::function<void()> lineWritten)
    : appFolder_(std::move(appFolder)), clock_(clock), lineWritten_(std::move(lineWritten)) {}

Str Log::formatLine(std::int32_t number, const Str& description, const Str& label) const {
    // The date and time first, then the seconds-since-midnight clock, as the line is built.
    const LocalTime t = clock_.now();
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
    // "yyyy-mm-dd hh:nn:ss.hh"
    const struct {
        long long value;
        int width;
        char16_t before;
    } stamp[] = {{t.year, 4, 0},      {t.month, 2, u'-'},  {t.day, 2, u'-'},     {t.hour, 2, u' '},
                 {t.minute, 2, u':'}, {t.second, 2, u':'}, {hundredths, 2, u'.'}};
    for (const auto& field : stamp) {
        if (field.before != 0)
            line += field.before;
        appendPadded(line, field.value, field.width);
    }
    line += u" : ";
    if (number != 0)
        line += decimal(number);
    line += u" : ";
    appendField(line, description);
    line += u" : ";
    appendField(line, label);
    line += u'"';
    return line;
}

Str Log::GetLogPath(Str& strPath) {
    return locate(strPath, nullptr);
}

Str Log::locate(Str& strPath, std::optional<files::Folder>* where) {
    const Str received = strPath;
    try {
        // strPath is created when nothing of its name exists; whatever exists is then opened
        // as a folder, never through a link, and so is the month folder under it.
        const bool existed = files::exists(strPath);
        std::optional<files::Folder> root;
        try {
            root.emplace(files::Folder::openLast(strPath));
        } catch (const ControlError&) {
            if (existed) // the failure belongs to the month step: the slash is already there
                addSlash(strPath);
            throw;
        }
        addSlash(strPath);
        const Str month = monthName(clock_.now());
        try {
            files::Folder monthFolder = root->sub(toUtf8(month));
            if (where != nullptr)
                where->emplace(std::move(monthFolder));
        } catch (const ControlError&) {
            // The caller then writes into strPath itself, as it would append the file's name
            // to the path returned.
            if (where != nullptr)
                where->emplace(std::move(*root));
            throw;
        }
        return strPath + month + u'/';
    } catch (const ControlError& e) {
        // Containment: a failure met while WriteLog itself is writing the report of an earlier
        // failure of GetLogPath (depth 2 or more) is dropped, so that a log root that can never
        // be created costs at most two attempts and never recurses further.
        if (depth_ <= 1)
            writeTrapped(e.number(), e.description(), label::getLogPath);
    } catch (const std::bad_alloc&) {
        if (depth_ <= 1)
            writeTrapped(7, u"Out of memory", label::getLogPath);
    }
    return received;
}

void Log::WriteLog(std::int32_t Number, const Str& Description, const Str& Label) {
    DepthGuard guard(depth_);
    Str root = appFolder_;
    addSlash(root);
    root += u"Log/";
    const Str received = root;
    std::optional<files::Folder> folder;
    locate(root, &folder);
    if (!folder) // the log root itself could not be opened: this raises why
        folder.emplace(files::Folder::openLast(received));
    Str line = formatLine(Number, Description, Label);
    line += u"\r\n";
    folder->append("Dalmure.Log", toCp1252(line));
    if (lineWritten_)
        lineWritten_();
}

void Log::writeTrapped(std::int32_t number, const Str& description, const Str& label) noexcept {
    try {
        WriteLog(number, description, label);
    } catch (const ControlError& e) {
        toSystemLog(number, description, label, e.description());
    } catch (...) {
        toSystemLog(number, description, label, u"Out of memory");
    }
}

void Log::toSystemLog(std::int32_t number, const Str& description, const Str& label,
                      const Str& why) noexcept {
    // The line the file could not take goes to the system log, so that it is not lost; the
    // reason comes first. Nothing here may fail the caller.
    try {
        const std::string line = toUtf8(formatLine(number, description, label));
        Str reason;
        appendField(reason, why);
        ::syslog(LOG_USER | LOG_ERR, "Dalmure.Log not written (%s): %s", toUtf8(reason).c_str(),
                 line.c_str());
    } catch (...) {
        ::syslog(LOG_USER | LOG_ERR, "Dalmure.Log not written: a line was lost");
    }
}

} // namespace dalmure
