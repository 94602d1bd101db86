// orvane-rehearse: the window on a disposable copy of the site it would
// administer with the same settings. The copy goes when the window closes;
// the real site is never changed.
#include "platform/Environment.h"
#include "platform/rehearsal/HostRehearsal.h"
#include "platform/rehearsal/SiteCopy.h"

#include <QFileInfo>
#include <cstdio>

namespace {

int refuse(const char* why) {
    std::fprintf(stderr, "orvane-rehearse: %s\n", why);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QByteArray backend = qgetenv("ORVANE_NETAPI");
    if (backend != "host")
        return refuse("a rehearsal is offered for this machine's own accounts "
                      "(ORVANE_NETAPI=host); the embedded practice machine needs none, and "
                      "other servers cannot be copied from here");
    if (!orvane::runsAsRoot())
        return refuse("a rehearsal copies this machine's accounts, which takes root; start it "
                      "through its menu entry \"Orvane (演练)\" or as root");
    // The window beside this program, in the build tree as when installed.
    const QString window =
        QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() + QStringLiteral("/orvane");
    try {
        return orvane::rehearsal::rehearseOnHost(window, arguments);
    } catch (const orvane::rehearsal::CopyError& error) {
        std::fprintf(stderr,
                     "orvane-rehearse: the copy of the site could not be made, and nothing was "
                     "changed: %s\n",
                     error.what());
        return 1;
    }
}
