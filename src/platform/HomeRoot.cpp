#include "platform/HomeRoot.h"

#include "core/SystemErrors.h"
#include "platform/FolderAt.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// O_PATH: a folder on the way need only be entered, not read.
constexpr int kStepFlags = O_PATH | O_NOFOLLOW | O_CLOEXEC;

// Whether only root, or the user running the program, can change what the
// folder holds. Only root when that is who runs it.
bool onlyOwnersCanChange(const struct stat& st, bool isRoot) {
    const uid_t self = ::geteuid();
    if (st.st_uid != 0 && st.st_uid != self)
        return false;
    if (!(st.st_mode & (S_IWGRP | S_IWOTH)))
        return true;
    // In a sticky folder only an entry's owner may rename or remove it, and
    // the next folder's owner is checked in turn.
    return !isRoot && (st.st_mode & S_ISVTX);
}

bool isOneEntry(const QString& name) {
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

} // namespace

HomeRoot HomeRoot::open(const QString& path) {
    HomeRoot root;
    root.m_error = EINVAL;
    if (!path.startsWith(u'/') || path.contains(QChar(0)))
        return root;
    const QList<QByteArray> steps = QFile::encodeName(path).split('/');
    QList<QByteArray> names;
    for (const QByteArray& step : steps) {
        if (step == "." || step == "..")
            return root;
        if (!step.isEmpty())
            names.append(step);
    }

    Descriptor folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat st;
    if (!folder.valid() || ::fstat(folder.get(), &st) != 0) {
        root.m_error = errno;
        return root;
    }
    bool trusted = onlyOwnersCanChange(st, names.isEmpty());
    for (qsizetype i = 0; i < names.size(); ++i) {
        Descriptor next(::openat(folder.get(), names[i].constData(), kStepFlags));
        if (!next.valid() || ::fstat(next.get(), &st) != 0) {
            root.m_error = errno;
            return root;
        }
        if (S_ISLNK(st.st_mode)) {
            root.m_standing = Standing::Link;
            root.m_error = ELOOP;
            return root;
        }
        if (!S_ISDIR(st.st_mode)) {
            root.m_error = ENOTDIR;
            return root;
        }
        trusted = onlyOwnersCanChange(st, i + 1 == names.size()) && trusted;
        folder = std::move(next);
    }
    root.m_folder = std::move(folder);
    root.m_standing = trusted ? Standing::Trusted : Standing::Tamperable;
    root.m_error = 0;
    root.m_top = names.isEmpty();
    return root;
}

bool HomeRoot::folderExists(const QString& name) const {
    if (!isOpen() || !isOneEntry(name))
        return false;
    return directoryExistsAt(m_folder.get(), QFile::encodeName(name).constData());
}

unsigned HomeRoot::createFolder(const QString& name,
                                const std::optional<HomeFolderOwner>& owner) const {
    if (!isTrusted())
        return ERROR_ACCESS_DENIED_CODE;
    if (!isOneEntry(name))
        return ERROR_INVALID_NAME_CODE;
    const QByteArray entry = QFile::encodeName(name);
    return owner ? createOwnedFolderAt(m_folder.get(), entry.constData(), *owner)
                 : createFolderAt(m_folder.get(), entry.constData());
}

bool HomeRoot::removeFolderTree(const QString& name, const std::function<bool()>& keepGoing) const {
    if (!isTrusted() || m_top || !isOneEntry(name))
        return false;
    return removeFolderTreeAt(m_folder.get(), QFile::encodeName(name).constData(), keepGoing);
}

} // namespace orvane
