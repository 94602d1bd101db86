#pragma once

// Folder work relative to an open folder, for the platform's own use: the
// folder's path is never looked up again, so no folder above it can be
// swapped in between. The name is one entry of that folder.

#include <functional>
#include <sys/types.h>

namespace orvane {

struct HomeFolderOwner;

// What a new home folder allows: everything for its owner, reading and
// entering for the others, never writing.
inline constexpr mode_t kHomeFolderMode = 0755;

// The folder-exists rule for one entry; folder may be AT_FDCWD.
bool directoryExistsAt(int folder, const char* name);

// Makes one folder (kHomeFolderMode, less what the umask takes); 0 or the
// Windows error code.
unsigned createFolderAt(int folder, const char* name);

// Makes one folder, private to root while it is filled, and gives it to the
// owner: its skeleton copied in, then the folder's owner and mode. Nothing
// changes unless the folder opened (never through a link) is the one just
// made, still root's and empty; everything is changed through descriptors,
// so nothing outside the new folder ever changes owner. 0 or the Windows
// error code; a folder made whose skeleton could not all be copied is still
// given, and the copy's error returned. afterMade runs between the creation
// and the opening (for tests that swap the folder there).
unsigned createOwnedFolderAt(int folder, const char* name, const HomeFolderOwner& owner,
                             const std::function<void()>& afterMade = {});

// Copies the entries of the folder at path skeleton into the open folder
// into, as useradd -m does: files, folders and links (as links, never
// followed), each owned by user:group with the skeleton's permission bits
// (files lose set-user and set-group ID). Other kinds of entry are left out.
// A missing skeleton copies nothing. 0, or the first error met; the copy goes
// on past it.
unsigned copySkeletonAt(int into, const char* skeleton, uid_t user, gid_t group);

// Deletes the entry and what it holds, as HomeRoot::removeFolderTree says,
// and returns whether it is gone.
bool removeFolderTreeAt(int folder, const char* name, const std::function<bool()>& keepGoing);

} // namespace orvane
