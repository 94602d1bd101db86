#include "platform/MachineFolder.h"

#include "platform/embedded/MachineDatabase.h"

#include <QDir>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

QString machineFolder() {
    const QString chosen = qEnvironmentVariable("ORVANE_MACHINE");
    if (!chosen.isEmpty())
        return chosen;
    if (geteuid() == 0)
        return QStringLiteral("/var/lib/orvane");
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/orvane");
}

namespace {

QString mode(mode_t bits) {
    return QStringLiteral("%1").arg(bits & 07777, 4, 8, QLatin1Char('0'));
}

// What is wrong with path, which must be of the given type and mode and
// root's own; an empty text when it is so or is not there.
QString refusal(const QString& what, const QString& path, mode_t type, mode_t wanted) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT)
            return {};
        return QStringLiteral("cannot read %1 %2: %3")
            .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
    }
    const QString start = QStringLiteral("%1 %2 ").arg(what, path);
    if (S_ISLNK(st.st_mode))
        return start + QStringLiteral("is a symbolic link");
    if ((st.st_mode & S_IFMT) != type)
        return start + (type == S_IFDIR ? QStringLiteral("is not a folder")
                                        : QStringLiteral("is not a regular file"));
    if (st.st_uid != 0)
        return start + QStringLiteral("belongs to uid %1, not to root").arg(st.st_uid);
    if ((st.st_mode & 07777) != wanted)
        return start + QStringLiteral("has mode %1, not %2").arg(mode(st.st_mode), mode(wanted));
    if (type == S_IFREG && st.st_nlink != 1)
        return start + QStringLiteral("has %1 names (hard links)").arg(st.st_nlink);
    return {};
}

} // namespace

QString rootMachineFolderRefusal(const QString& folder) {
    // Without trailing separators, so that a link is seen as the link.
    const QString clean = QDir::cleanPath(folder);
    QString why = refusal(QStringLiteral("the machine folder"), clean, S_IFDIR, 0700);
    if (why.isEmpty())
        why = refusal(QStringLiteral("the machine database"),
                      clean + u'/' + QLatin1String(embedded::kDatabaseFile), S_IFREG, 0600);
    if (why.isEmpty())
        return {};
    return why + QStringLiteral(": as root, Orvane uses only a folder (0700) and database (0600) "
                                "of root's own that are no links");
}

} // namespace orvane
