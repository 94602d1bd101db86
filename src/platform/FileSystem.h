#pragma once

#include <QString>
#include <functional>

namespace orvane {

// Whether the path names an existing folder. A link counts by its target, and
// a target that cannot be opened counts as no folder. When the attributes
// cannot be read, "not found", "path not found", "invalid name", "bad network
// path" and "device not ready" mean no; any other error (access denied, say)
// means yes. The path is tested as given.
bool DirectoryExists(const QString& path);

// Creates one folder level with default permissions; the parent must exist.
// Returns 0, or the Windows error code of the failure.
unsigned CreateFolder(const QString& path);

// How often a folder removal reports progress: after this many entries, or
// sooner once about 20 ms have passed since the last report.
inline constexpr int kRemovalReportEntries = 256;

// Deletes the folder and what it holds, depth first, and returns whether the
// folder is gone.
//
// What stays: read-only files (no write bit for the owner) and files the file
// system keeps from deletion, with the folders holding them; anything on
// another file system or mount (a mount point inside the folder is neither
// entered nor removed); and, when the folder is itself a link, the folder and
// its target. Links inside are removed as links. A path of separators alone is
// never deleted.
//
// Entries are named relative to open folders and no more than a few
// descriptors are open at any time, so any depth goes; when a folder turns out
// to have been moved out of the tree meanwhile, the removal ends there.
//
// keepGoing, when given, is asked as kRemovalReportEntries says; false ends
// the removal where it is.
bool RemoveFolderTree(const QString& path, const std::function<bool()>& keepGoing = {});

} // namespace orvane
