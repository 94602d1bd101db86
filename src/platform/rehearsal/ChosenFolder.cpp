#include "platform/rehearsal/ChosenFolder.h"

#include "platform/Descriptor.h"
#include "platform/rehearsal/MountTable.h"
#include "platform/rehearsal/SiteCopy.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orvane::rehearsal {

namespace {

const char* const kCopyVariable = "ORVANE_REHEARSAL_COPY";

// "mnt:[inode]": which mount namespace this process is in.
QByteArray mountNamespace() {
    char name[64];
    const ssize_t length = ::readlink("/proc/self/ns/mnt", name, sizeof name);
    return length > 0 ? QByteArray(name, length) : QByteArray();
}

bool holds(const QString& folder, const QString& path) {
    return folder == u"/" || path == folder || path.startsWith(folder + u'/');
}

// The mount a path is on: of the mounts that hold it, the deepest, and of
// those on one folder the last mounted.
std::optional<Mount> mountOf(const QString& path) {
    std::optional<Mount> found;
    for (const Mount& mount : currentMounts())
        if (holds(mount.target, path) && (!found || mount.target.size() >= found->target.size()))
            found = mount;
    return found;
}

// The mounts below the folder (the copy's layers, a folder kept writable),
// the outermost of each stack, each cloned with what is mounted below it, so
// that they can be put back on top of a layer laid over the folder.
std::vector<std::pair<QString, Descriptor>> mountsBelow(const QString& folder) {
    QStringList targets;
    for (const Mount& mount : currentMounts())
        if (mount.target != folder && holds(folder, mount.target) &&
            std::none_of(targets.begin(), targets.end(),
                         [&](const QString& outer) { return holds(outer, mount.target); }))
            targets << mount.target;
    std::vector<std::pair<QString, Descriptor>> below;
    for (const QString& target : targets) {
        Descriptor tree(::open_tree(AT_FDCWD, QFile::encodeName(target).constData(),
                                    OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | AT_RECURSIVE));
        if (!tree.valid())
            failCopy(QStringLiteral("cannot keep %1 as the copy has it").arg(target));
        below.emplace_back(target, std::move(tree));
    }
    return below;
}

} // namespace

QString copyMarker() {
    return QLatin1StringView(kCopyVariable) + u'=' + QString::fromLatin1(mountNamespace());
}

void takeIntoCopy(const QString& folder) {
    // Only where the rehearsal marked this very namespace: a window started
    // with the marker by hand stays in the machine's, and lays nothing there.
    const QByteArray marked = qgetenv(kCopyVariable);
    if (marked.isEmpty() || marked != mountNamespace())
        return;
    const QString clean = QFileInfo(folder).canonicalFilePath();
    if (clean.isEmpty() || clean == u"/")
        return;
    // Every mount of the machine that keeps stored files is read-only in the
    // copy: a writable overlay is one of the copy's own layers.
    const std::optional<Mount> mount = mountOf(clean);
    if (mount && mount->type == u"overlay" && !mount->readOnly)
        return;
    layOverKeepingWhatIsBelow(clean);
}

void layOverKeepingWhatIsBelow(const QString& folder) {
    const std::vector<std::pair<QString, Descriptor>> below = mountsBelow(folder);
    SiteCopy::overlay(folder);
    for (const auto& [target, tree] : below)
        if (::move_mount(tree.get(), "", AT_FDCWD, QFile::encodeName(target).constData(),
                         MOVE_MOUNT_F_EMPTY_PATH) != 0)
            failCopy(QStringLiteral("cannot keep %1 as the copy has it").arg(target));
}

} // namespace orvane::rehearsal
