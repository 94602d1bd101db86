#pragma once

// Folder work relative to an open folder, for the platform's own use: the
// folder's path is never looked up again, so no folder above it can be
// swapped in between. The name is one entry of that folder.

#include <functional>
#include <sys/types.h>

namespace orvane {

// What a new home folder allows: everything for its owner, reading and
// entering for the others, never writing.
inline constexpr mode_t kHomeFolderMode = 0755;

// The folder-exists rule for one entry; folder may be AT_FDCWD.
bool directoryExistsAt(int folder, const char* name);

// Makes one folder (kHomeFolderMode, less what the umask takes); 0 or the
// Windows error code.
unsigned createFolderAt(int folder, const char* name);

// Deletes the entry and what it holds, as HomeRoot::removeFolderTree says,
// and returns whether it is gone.
bool removeFolderTreeAt(int folder, const char* name, const std::function<bool()>& keepGoing);

} // namespace orvane
