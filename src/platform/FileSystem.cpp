#include "platform/FileSystem.h"

#include "core/SystemErrors.h"
#include "platform/FolderAt.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace orvane {

namespace {

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

bool directoryExistsAt(int folder, const char* name) {
    struct stat st;
    if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return !errnoMeansNoFolder(errno);
    if (S_ISLNK(st.st_mode)) {
        if (::fstatat(folder, name, &st, 0) != 0)
            return false;
    }
    return S_ISDIR(st.st_mode);
}

unsigned createFolderAt(int folder, const char* name) {
    // Never writable by group or others, whatever the umask let through: the
    // umask of whoever started the program is no setting of this machine's.
    if (::mkdirat(folder, name, kHomeFolderMode) != 0)
        return windowsErrorFromErrno(errno);
    return 0;
}

bool DirectoryExists(const QString& path) {
    if (path.isEmpty() || path.contains(QChar(0)))
        return false;
    return directoryExistsAt(AT_FDCWD, QFile::encodeName(path).constData());
}

} // namespace orvane
