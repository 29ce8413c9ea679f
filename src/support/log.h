// The monthly log: Log/yyyy-mm/Dalmure.Log under the application folder, one quoted line per
// trapped error or note, CR LF ended, Windows-1252.
#pragma once

#include "support/clock.h"
#include "support/text.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace dalmure {

namespace files {
class Folder;
}

class Log {
  public:
    // lineWritten runs after every line WriteLog writes (the control puts the mouse pointer back
    // to the default there); it may be empty.
    Log(Str appFolder, const Clock& clock, std::function<void()> lineWritten);

    // Appends one line. Untrapped: a failure to write raises a ControlError to the caller.
    void WriteLog(std::int32_t Number, const Str& Description, const Str& Label);
    // Makes sure strPath and its month folder exist and returns the month folder with a trailing
    // "/". Adds the "/" to the caller's variable. Traps its own failures (logged under
    // "errDalmure_GetLogPath") and then returns strPath as it was received.
    Str GetLogPath(Str& strPath);

    // For trapping procedures: writes the line, or sends it to the system log (syslog,
    // LOG_USER) when the log file cannot take it. Never raises.
    void writeTrapped(std::int32_t number, const Str& description, const Str& label) noexcept;

    // The line WriteLog writes, without the CR LF (for tests and tools). A CR or LF inside the
    // description or the label is written as a blank.
    Str formatLine(std::int32_t number, const Str& description, const Str& label) const;

  private:
    // GetLogPath's work; where receives the folder the log file belongs in (the month folder,
    // or strPath itself when only the month step failed).
    Str locate(Str& strPath, std::optional<files::Folder>* where);
    void toSystemLog(std::int32_t number, const Str& description, const Str& label,
                     const Str& why) noexcept;

    Str appFolder_;
    const Clock& clock_;
    std::function<void()> lineWritten_;
    int depth_ = 0; // WriteLog -> GetLogPath -> WriteLog nesting, bounded
};

} // namespace dalmure
