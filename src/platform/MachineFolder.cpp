#include "platform/MachineFolder.h"

#include <QDir>
#include <unistd.h>

namespace orvane {

QString machineFolder() {
    const QString chosen = qEnvironmentVariable("ORVANE_MACHINE");
    if (!chosen.isEmpty())
        return chosen;
    if (geteuid() == 0)
        return QStringLiteral("/var/lib/orvane");
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty())
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/orvane");
}

} // namespace orvane
