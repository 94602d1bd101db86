#include "platform/rehearsal/SiteCopy.h"

#include "platform/Descriptor.h"
#include "platform/rehearsal/MountTable.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace orvane::rehearsal {

void failCopy(const QString& what, int error) {
    throw CopyError(QStringLiteral("%1: %2")
                        .arg(what, QString::fromLocal8Bit(std::strerror(error)))
                        .toStdString());
}

namespace {

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

QString fdPath(const Descriptor& fd) {
    return QStringLiteral("/proc/self/fd/%1").arg(fd.get());
}

Descriptor openFolder(const QString& folder) {
    Descriptor fd(::open(native(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        failCopy(QStringLiteral("cannot open %1").arg(folder));
    return fd;
}

struct stat statOf(const Descriptor& fd, const QString& what) {
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        failCopy(QStringLiteral("cannot read %1").arg(what));
    return st;
}

void setReadOnly(const QString& target) {
    struct mount_attr attr {};
    attr.attr_set = MOUNT_ATTR_RDONLY;
    if (::syscall(SYS_mount_setattr, AT_FDCWD, native(target).constData(), 0, &attr, sizeof attr) !=
            0 &&
        errno != ENOENT)
        failCopy(QStringLiteral("cannot make %1 read-only").arg(target));
}

} // namespace

SiteCopy::SiteCopy() {
    if (::unshare(CLONE_NEWNS) != 0)
        failCopy(QStringLiteral("cannot make a mount namespace of its own"));
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        failCopy(QStringLiteral("cannot keep its mounts private"));
}

void SiteCopy::keepWritable(const QStringList& folders) {
    for (const QString& folder : folders) {
        struct stat st {};
        if (::stat(native(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        // A mount of its own, which the read-only pass leaves alone.
        if (::mount(native(folder).constData(), native(folder).constData(), nullptr,
                    MS_BIND | MS_REC, nullptr) != 0)
            failCopy(QStringLiteral("cannot keep %1 writable").arg(folder));
    }
    m_kept += folders;
}

void SiteCopy::makeTheRestReadOnly() {
    for (const Mount& mount : currentMounts()) {
        if (mount.readOnly || !holdsStoredFiles(mount.type) || m_kept.contains(mount.target))
            continue;
        setReadOnly(mount.target);
    }
}

void SiteCopy::mountTmpfs(const QString& folder, const QString& options) {
    if (::mount("tmpfs", native(folder).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.toUtf8().constData()) != 0)
        failCopy(QStringLiteral("cannot put a scratch layer on %1").arg(folder));
}

void SiteCopy::overlay(const QString& folder) {
    // Every path is handed to the kernel as a descriptor's: a folder's name
    // may hold the commas and colons that separate overlay options.
    const Descriptor lower = openFolder(folder);
    const struct stat below = statOf(lower, folder);
    // The scratch layer sits on the folder itself, below the overlay that is
    // then mounted over both, so that no folder elsewhere is needed for it.
    mountTmpfs(folder, QStringLiteral("mode=0700"));
    const Descriptor scratch = openFolder(folder);
    for (const char* layer : {"upper", "work"})
        if (::mkdirat(scratch.get(), layer, 0700) != 0)
            failCopy(QStringLiteral("cannot make the scratch layer of %1").arg(folder));
    // The overlay's top folder takes its owner and mode from the upper layer.
    const QByteArray upper = native(fdPath(scratch) + QStringLiteral("/upper"));
    if (::chown(upper.constData(), below.st_uid, below.st_gid) != 0 ||
        ::chmod(upper.constData(), below.st_mode & 07777) != 0)
        failCopy(QStringLiteral("cannot give the scratch layer of %1 its owner").arg(folder));
    const QString options = QStringLiteral("lowerdir=%1,upperdir=%2/upper,workdir=%2/work")
                                .arg(fdPath(lower), fdPath(scratch));
    if (::mount("overlay", native(folder).constData(), "overlay", MS_NOSUID | MS_NODEV,
                options.toUtf8().constData()) != 0)
        failCopy(QStringLiteral("cannot lay a copy over %1").arg(folder));
}

void SiteCopy::empty(const QString& folder) {
    struct stat st {};
    if (::stat(native(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    mountTmpfs(folder, QStringLiteral("mode=%1,uid=%2,gid=%3")
                           .arg(st.st_mode & 07777, 0, 8)
                           .arg(st.st_uid)
                           .arg(st.st_gid));
}

void SiteCopy::hideSystemLog() {
    // systemd's journal takes syslog(3), its own protocol and /dev/log.
    struct stat st {};
    if (::stat("/run/systemd/journal", &st) == 0 && S_ISDIR(st.st_mode))
        mountTmpfs(QStringLiteral("/run/systemd/journal"), QStringLiteral("mode=0755"));
    // A syslog daemon's own socket.
    if (::stat("/dev/log", &st) == 0 && S_ISSOCK(st.st_mode))
        discardWrites(QStringLiteral("/dev/log"));
}

void SiteCopy::discardWrites(const QString& file) {
    struct stat st {};
    if (::lstat(native(file).constData(), &st) != 0 || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode))
        return;
    if (::mount("/dev/null", native(file).constData(), nullptr, MS_BIND, nullptr) != 0)
        failCopy(QStringLiteral("cannot set %1 aside").arg(file));
}

void SiteCopy::dropAuditWrite() {
    // Gone from the bounding set, no program started later gets it back; the
    // kernel also refuses audit records from a PID namespace of its own.
    if (::prctl(PR_CAPBSET_DROP, CAP_AUDIT_WRITE, 0, 0, 0) != 0 && errno != EINVAL)
        failCopy(QStringLiteral("cannot give up writing to the audit trail"));
}

} // namespace orvane::rehearsal
