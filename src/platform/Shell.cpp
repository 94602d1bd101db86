// uses-programs: xdg-open
#include "platform/Shell.h"

#include <QProcess>

namespace orvane {

void DesktopShell::openFolder(QWidget*, const QString& folder) {
#ifdef _WIN32
    const QString program = QStringLiteral("Explorer.exe");
#else
    QString program = qEnvironmentVariable("ORVANE_FILE_BROWSER");
    if (program.isEmpty())
        program = QStringLiteral("xdg-open");
#endif
    // The folder is one argument, passed as it is: no shell reads it.
    QProcess::startDetached(program, {folder});
}

} // namespace orvane
