#include "core/SystemErrors.h"

#include <cerrno>
#include <cstring>

namespace orvane {

unsigned windowsErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return 0;
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED_CODE;
    case ENOENT:
        return ERROR_PATH_NOT_FOUND_CODE;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND_CODE;
    case EEXIST:
        return ERROR_ALREADY_EXISTS_CODE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL_CODE;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE_CODE;
    case EROFS:
        return ERROR_WRITE_PROTECT_CODE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY_CODE;
    case EINVAL:
    case EILSEQ:
        return ERROR_INVALID_NAME_CODE;
    case ENOTEMPTY:
        return ERROR_DIR_NOT_EMPTY_CODE;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION_CODE;
    case ELOOP:
        return ERROR_CANT_RESOLVE_FILENAME_CODE;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return ERROR_NOT_READY_CODE;
    case EHOSTDOWN:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
        return ERROR_BAD_NETPATH_CODE;
    default:
        return static_cast<unsigned>(err);
    }
}

QString systemErrorText(int err) {
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be the buffer.
    const char* text = strerror_r(err, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}

} // namespace orvane
