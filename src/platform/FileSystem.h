#pragma once

#include <QString>

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

} // namespace orvane
