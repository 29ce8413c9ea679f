// The monthly log: Log/yyyy-mm/Dalmure.Log under the application folder, one quoted line per
// trapped error or note, CR LF ended, Windows-1252.
#pragma once

#include "platform/clock.h"
#include "platform/screen.h"
#include "support/text.h"

#include <cstdint>

namespace dalmure {

class Log {
public:
    Log(Str appFolder, const platform::Clock& clock, platform::Screen& screen);

    // Appends one line. Untrapped: a failure to write raises a ControlError to the caller.
    void WriteLog(std::int32_t Number, const Str& Description, const Str& Label);
    // Makes sure strPath and its month folder exist and returns the month folder with a trailing
    // "/". Adds the "/" to the caller's variable. Traps its own failures (logged under
    // "errDalmure_GetLogPath") and then returns strPath as it was received.
    Str GetLogPath(Str& strPath);

    // For trapping procedures: writes the line and drops it silently when the log itself
    // cannot be written. Never raises.
    void writeTrapped(std::int32_t number, const Str& description, const Str& label) noexcept;

    // The line WriteLog writes, without the CR LF (for tests and tools).
    Str formatLine(std::int32_t number, const Str& description, const Str& label) const;

private:
    Str appFolder_;
    const platform::Clock& clock_;
    platform::Screen& screen_;
    int depth_ = 0; // WriteLog -> GetLogPath -> WriteLog nesting, bounded
};

} // namespace dalmure
