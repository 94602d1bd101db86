#pragma once

#include <QString>

// The Windows system error codes that the file-system rules tell apart, and the
// translation of POSIX errors onto them.

namespace orvane {

inline constexpr unsigned ERROR_FILE_NOT_FOUND_CODE = 2;
inline constexpr unsigned ERROR_PATH_NOT_FOUND_CODE = 3;
inline constexpr unsigned ERROR_ACCESS_DENIED_CODE = 5;
inline constexpr unsigned ERROR_NOT_ENOUGH_MEMORY_CODE = 8;
inline constexpr unsigned ERROR_WRITE_PROTECT_CODE = 19;
inline constexpr unsigned ERROR_NOT_READY_CODE = 21;
inline constexpr unsigned ERROR_SHARING_VIOLATION_CODE = 32;
inline constexpr unsigned ERROR_BAD_NETPATH_CODE = 53;
inline constexpr unsigned ERROR_FILE_EXISTS_CODE = 80;
inline constexpr unsigned ERROR_INVALID_PARAMETER_CODE = 87;
inline constexpr unsigned ERROR_DISK_FULL_CODE = 112;
inline constexpr unsigned ERROR_INVALID_NAME_CODE = 123;
inline constexpr unsigned ERROR_DIR_NOT_EMPTY_CODE = 145;
inline constexpr unsigned ERROR_ALREADY_EXISTS_CODE = 183;
inline constexpr unsigned ERROR_FILENAME_EXCED_RANGE_CODE = 206;
inline constexpr unsigned ERROR_CANT_RESOLVE_FILENAME_CODE = 1921;

// The Windows code for a POSIX errno value; an errno without a Windows
// counterpart is passed on as its own number.
unsigned windowsErrorFromErrno(int err);

// The system's own text for a POSIX errno value.
QString systemErrorText(int err);

} // namespace orvane
