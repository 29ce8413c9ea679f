// STUB: to be written (log).
#include "support/log.h"

namespace dalmure {
Log::Log(Str appFolder, const platform::Clock& clock, platform::Screen& screen)
    : appFolder_(std::move(appFolder)), clock_(clock), screen_(screen) {}
void Log::WriteLog(std::int32_t, const Str&, const Str&) {}
Str Log::GetLogPath(Str& strPath) { return strPath; }
void Log::writeTrapped(std::int32_t, const Str&, const Str&) noexcept {}
Str Log::formatLine(std::int32_t, const Str&, const Str&) const { return {}; }
} // namespace dalmure
