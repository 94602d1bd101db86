// A new home folder given to its account, relative to the open home root.
#include "platform/FolderAt.h"

#include "core/SystemErrors.h"
#include "platform/Descriptor.h"
#include "platform/FolderListing.h"
#include "platform/HomeFolderOwner.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// Nobody but root may enter while the folder is being filled.
constexpr mode_t kFillingMode = 0700;

bool isEmptyFolder(int folder) {
    // A description of its own, so the caller's descriptor keeps its offset.
    FolderListing listing{Descriptor(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC))};
    return listing.valid() && listing.next() == nullptr;
}

} // namespace

unsigned createOwnedFolderAt(int root, const char* name, const HomeFolderOwner& owner,
                             const std::function<void()>& afterMade) {
    if (::mkdirat(root, name, kFillingMode) != 0)
        return windowsErrorFromErrno(errno);
    struct stat made;
    if (::fstatat(root, name, &made, AT_SYMLINK_NOFOLLOW) != 0)
        return windowsErrorFromErrno(errno);
    if (afterMade)
        afterMade();

    // A link now in its place is not opened; a folder swapped in is not the
    // one just made, or not root's, or not empty. Either way it gets nothing.
    const Descriptor folder(::openat(root, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat opened;
    if (!folder.valid() || ::fstat(folder.get(), &opened) != 0 || !S_ISDIR(made.st_mode) ||
        opened.st_dev != made.st_dev || opened.st_ino != made.st_ino ||
        opened.st_uid != ::geteuid() || !isEmptyFolder(folder.get()))
        return ERROR_ACCESS_DENIED_CODE;

    // Filled while still root's alone, so the account cannot swap anything
    // under the copy; given last.
    const unsigned copied =
        owner.skeleton.isEmpty()
            ? 0
            : copySkeletonAt(folder.get(), QFile::encodeName(owner.skeleton).constData(),
                             owner.user, owner.group);
    if (::fchown(folder.get(), owner.user, owner.group) != 0 ||
        ::fchmod(folder.get(), owner.mode) != 0)
        return windowsErrorFromErrno(errno);
    return copied;
}

} // namespace orvane
