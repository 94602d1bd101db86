#include "platform/FileSystem.h"

#include "core/SystemErrors.h"

#include <QFile>
#include <cerrno>
#include <sys/stat.h>

namespace orvane {

namespace {

bool isEncodable(const QString& path) {
    return !path.isEmpty() && !path.contains(QChar(0));
}

// The classes of the folder-exists rule that answer no.
bool errnoMeansNoFolder(int err) {
    switch (err) {
    case ENOENT:       // not found
    case ENOTDIR:      // path not found
    case ENAMETOOLONG: // invalid name
    case EINVAL:
    case EILSEQ:
    case ELOOP:     // a link whose target cannot be reached
    case EHOSTDOWN: // bad network path
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
    case ENXIO: // device not ready
    case ENODEV:
    case ENOMEDIUM:
        return true;
    default:
        return false;
    }
}

} // namespace

bool DirectoryExists(const QString& path) {
    if (!isEncodable(path))
        return false;
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::lstat(native.constData(), &st) != 0)
        return !errnoMeansNoFolder(errno);
    if (S_ISLNK(st.st_mode)) {
        if (::stat(native.constData(), &st) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode);
}

unsigned CreateFolder(const QString& path) {
    if (!isEncodable(path))
        return ERROR_PATH_NOT_FOUND_CODE;
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0)
        return windowsErrorFromErrno(errno);
    return 0;
}

} // namespace orvane
