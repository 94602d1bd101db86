#pragma once

// The folder that holds the home folders, opened once and then named only by
// its descriptor.
//
// Orvane runs as root, and a home folder is deleted with everything in it: a
// path looked up again for every step would follow any folder along it that
// someone swapped for a link meanwhile. So the root is opened one folder at a
// time from the top, never through a link, and every folder on the way is
// checked the way sshd's StrictModes checks a user's files: owned by root (or,
// in a program run by an ordinary user, by that user) and writable by nobody
// else. A folder others may write is accepted on the way only when it has the
// sticky bit (/tmp), since then no one else can rename or replace what root
// owns in it; the home root itself must not be writable by others at all.
// Anything then made, tested or removed under the root is named relative to
// that descriptor.

#include "platform/Descriptor.h"
#include "platform/HomeFolderOwner.h"

#include <QString>
#include <functional>
#include <optional>

namespace orvane {

// How often a folder removal reports progress: after this many entries, or
// sooner once about 20 ms have passed since the last report.
inline constexpr int kRemovalReportEntries = 256;

class HomeRoot {
public:
    enum class Standing {
        Trusted,    // open, and no one but root (or this user) can change its path
        Tamperable, // open, but another user could change a folder of its path
        Link,       // a folder of the path is a link: not opened
        Unreachable // missing, not a folder, not absolute, or not openable
    };

    // path: absolute, with or without trailing separators. "." and ".." are
    // refused: each folder is named by its own entry.
    static HomeRoot open(const QString& path);

    HomeRoot(HomeRoot&&) noexcept = default;
    HomeRoot& operator=(HomeRoot&&) noexcept = default;

    Standing standing() const { return m_standing; }
    // The errno of an unreachable root, else 0.
    int error() const { return m_error; }
    // Open, trusted or not: what is under it can be looked at.
    bool isOpen() const { return m_folder.valid(); }
    bool isTrusted() const { return m_standing == Standing::Trusted; }
    // The top of the folder tree itself. Folders may be made there, but
    // nothing is removed: an account named etc would reach the system's own.
    bool isTopOfTree() const { return m_top; }

    // Whether the entry is a folder, by the folder-exists rule of
    // DirectoryExists: a link in the root counts by its target. False while
    // the root is not open, and for a name that is no single entry.
    bool folderExists(const QString& name) const;

    // Makes the folder name in the root. 0, or the Windows error code of the
    // failure; ERROR_ACCESS_DENIED for a root that is not trusted.
    //
    // Without an owner it is made 0755 less the umask, and stays the
    // program's. With one it is given to the owner as createOwnedFolderAt
    // says; ERROR_ACCESS_DENIED when what is found at the name right after
    // is not the folder just made, which then gets nothing.
    unsigned createFolder(const QString& name,
                          const std::optional<HomeFolderOwner>& owner = std::nullopt) const;

    // Deletes the folder name in the root and what it holds, depth first, and
    // returns whether the folder is gone. Nothing at all is removed from a
    // root that is not trusted or is the top of the folder tree.
    //
    // What stays: read-only files (no write bit for the owner) and files the
    // file system keeps from deletion, with the folders holding them; anything
    // on another file system or mount (a mount point inside the folder is
    // neither entered nor removed); and, when the folder is itself a link, the
    // folder and its target. Links inside are removed as links.
    //
    // Entries are named relative to open folders and no more than a few
    // descriptors are open at any time, so any depth goes; when a folder turns
    // out to have been moved out of the tree meanwhile, the removal ends there.
    //
    // keepGoing, when given, is asked as kRemovalReportEntries says; false
    // ends the removal where it is.
    bool removeFolderTree(const QString& name, const std::function<bool()>& keepGoing = {}) const;

private:
    HomeRoot() = default;

    Descriptor m_folder;
    Standing m_standing = Standing::Unreachable;
    int m_error = 0;
    bool m_top = false;
};

} // namespace orvane
