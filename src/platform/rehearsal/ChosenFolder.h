#pragma once

// A folder the window is given while it runs in a rehearsal's copy (a new
// home root) becomes part of the copy, as the site's own folders did when
// the copy was made: the real one then stays as it is, whatever file system
// it is on, and the copy's commands work there as the real run's will.

#include <QString>

namespace orvane::rehearsal {

// "NAME=value" for the window's environment that marks the mount namespace
// this process is in as a rehearsal's copy.
QString copyMarker();

// In a rehearsal's copy (the marker names the mount namespace this process
// is in), lays a scratch layer over the folder unless a layer of the copy
// already covers it; what is mounted below the folder (the copy's own
// layers among them) stays on top, as it was. The top of the tree is left
// as the copy has it (read-only). Elsewhere it does nothing. Throws
// CopyError when the layer cannot be laid.
void takeIntoCopy(const QString& folder);

// Lays a scratch layer over the folder (SiteCopy::overlay) and puts what was
// mounted below it back on top, as it was. Throws CopyError.
void layOverKeepingWhatIsBelow(const QString& folder);

} // namespace orvane::rehearsal
