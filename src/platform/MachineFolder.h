#pragma once

#include <QString>

namespace orvane {

// Where the embedded machine (and the registry stand-in) lives: ORVANE_MACHINE
// when set, else /var/lib/orvane for root, else $XDG_STATE_HOME/orvane
// (~/.local/state/orvane).
QString machineFolder();

// Why root must not use this machine folder, or an empty text when it may.
// Root's machine decides who administers the computer, so root takes only a
// folder that root alone can change: a real folder (no symbolic link) of
// root's own with mode 0700, holding a database that is a real file of root's
// own with mode 0600 and no second name. A folder or database not there yet
// is fine: Orvane makes them so.
QString rootMachineFolderRefusal(const QString& folder);

} // namespace orvane
