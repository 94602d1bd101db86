#pragma once

#include <QString>

namespace orvane {

// Whether the path names an existing folder. A link counts by its target, and
// a target that cannot be opened counts as no folder. When the attributes
// cannot be read, "not found", "path not found", "invalid name", "bad network
// path" and "device not ready" mean no; any other error (access denied, say)
// means yes. The path is tested as given.
//
// Every folder of the path is followed, links included: what is made or
// removed under the home root goes through HomeRoot instead.
bool DirectoryExists(const QString& path);

} // namespace orvane
