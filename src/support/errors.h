// The error the control's procedures raise and trap: a number and a description, as the
// host language's Err object carries them.
#pragma once

#include "support/text.h"

#include <dalmure/error.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace dalmure {

// The errors the control meets, with the numbers and texts its host knows them by.
namespace errors {
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDeviceIo = 57;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kPathFileAccess = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kInvalidRow = 30009;
inline constexpr std::int32_t kInvalidCol = 30010;
inline constexpr std::int32_t kInvalidPropertyValue = 380;

[[noreturn]] void overflow();             // 6 "Overflow"
[[noreturn]] void invalidRow();           // 30009 "Invalid Row value"
[[noreturn]] void invalidCol();           // 30010 "Invalid Col value"
[[noreturn]] void invalidPropertyValue(); // 380 "Invalid property value"
[[noreturn]] void subscriptOutOfRange();  // 9 "Subscript out of range"
[[noreturn]] void invalidProcedureCall(); // 5 "Invalid procedure call or argument"
// Raises the file error that best describes errno (53, 57, 61, 70, 75, 76).
[[noreturn]] void fromErrno(int err);
// The same for a failure on nativePath: ENOENT becomes 76 "Path not found" when the folder
// that should hold nativePath is missing.
[[noreturn]] void fromErrno(int err, const std::string& nativePath);
} // namespace errors

} // namespace dalmure
