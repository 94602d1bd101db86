// orvane-rehearse: the window on a disposable copy of the site it would
// administer with the same settings. The copy goes when the window closes;
// the real site is never changed.
#include "app/DcRehearsal.h"
#include "platform/Environment.h"
#include "platform/rehearsal/HostRehearsal.h"
#include "platform/rehearsal/SiteCopy.h"
#include "platform/rehearsal/SiteShares.h"
#include "ui/LookAndFeel.h"
#include "ui/RehearsalProgress.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

int refuse(const char* why) {
    std::fprintf(stderr, "orvane-rehearse: %s\n", why);
    return 2;
}

// The folder the copy of a server is made in: an empty one of the
// package's, on which a file system in memory is mounted, in the
// rehearsal's own mount namespace only (in the build tree, beside this
// program).
QString scratchFolder(const QString& here) {
    const QString besideThis = here + QStringLiteral("/rehearsal-scratch");
    return QFileInfo(besideThis).isDir() ? besideThis : QStringLiteral(ORVANE_REHEARSAL_SCRATCH);
}

// A step of a domain controller's copy, run as a program of its own so that
// libnetapi's process-wide state and its Kerberos tickets stay out of the
// rehearsal: the DC's shares written to a file for the rehearsal.
int writeSiteShares(const QString& server, const QString& file) {
    try {
        const QByteArray text =
            orvane::rehearsal::sharesToText(orvane::rehearsal::readSiteShares(server));
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            out.write(text) != text.size() || !out.flush())
            throw orvane::rehearsal::CopyError("cannot write " + file.toStdString());
        return 0;
    } catch (const orvane::rehearsal::CopyError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.size() == 3 && arguments.first() == QLatin1StringView(orvane::kSiteSharesStep))
        return writeSiteShares(arguments.at(1), arguments.at(2));
    const QByteArray backend = qgetenv("ORVANE_NETAPI");
    if (backend != "host" && backend != "samba")
        return refuse("a rehearsal is offered for this machine's own accounts "
                      "(ORVANE_NETAPI=host) and for a Samba domain controller "
                      "(ORVANE_NETAPI=samba); the embedded practice machine needs none");
    if (!orvane::runsAsRoot())
        return refuse("a rehearsal makes a copy of the site in namespaces of its own, which "
                      "takes root; start it through its menu entry \"Orvane (演练)\" or as root");
    // The window beside this program, in the build tree as when installed.
    const QString here = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    const QString window = here + QStringLiteral("/orvane");
    if (backend == "samba")
        return orvane::rehearseOnDomainController(window, arguments, argc, argv,
                                                  scratchFolder(here));
    try {
        return orvane::rehearsal::rehearseOnHost(window, arguments);
    } catch (const orvane::rehearsal::CopyError& error) {
        std::fprintf(stderr,
                     "orvane-rehearse: the copy of the site could not be made, and nothing was "
                     "changed: %s\n",
                     error.what());
        if (!qEnvironmentVariableIsEmpty("DISPLAY") ||
            !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            QApplication application(argc, argv);
            orvane::ui::applyLookAndFeel();
            orvane::ui::showCopyFailure(QString::fromLocal8Bit(error.what()));
        }
        return 1;
    }
}
