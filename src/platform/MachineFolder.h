#pragma once

#include <QString>

namespace orvane {

// Where the embedded machine (and the registry stand-in) lives: ORVANE_MACHINE
// when set, else /var/lib/orvane for root, else $XDG_STATE_HOME/orvane
// (~/.local/state/orvane).
QString machineFolder();

} // namespace orvane
