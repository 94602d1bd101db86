// uses-programs: testparm
#include "platform/host/HostBackend.h"

#include "platform/Process.h"
#include "platform/host/HostNetApi.h"
#include "platform/netapi/Backend.h"

#include <QFile>
#include <unistd.h>

namespace orvane::host {

namespace {

// Samba's own reading of its configuration, where Samba is here.
QByteArray sambaServerRole() {
    const QString testparm = QStringLiteral("/usr/bin/testparm");
    if (!QFile::exists(testparm) || !QFile::exists(QStringLiteral("/etc/samba/smb.conf")))
        return QByteArray();
    const ProcessResult role = runProcess(
        testparm, {QStringLiteral("-s"), QStringLiteral("--parameter-name=server role")});
    return role.succeeded() ? role.output.trimmed() : QByteArray();
}

} // namespace

std::unique_ptr<NetApi> createHostNetApi() {
    if (::geteuid() != 0)
        throw BackendError("ORVANE_NETAPI=host administers this machine's accounts and needs "
                           "root; start Orvane through its menu entry \"Orvane\" or as root");
    if (sambaServerRole() == "active directory domain controller")
        throw BackendError("ORVANE_NETAPI=host: this machine is a Samba domain controller, whose "
                           "accounts are the directory's; set ORVANE_NETAPI=samba in "
                           "/etc/default/orvane, with ORVANE_SAMBA_SERVER naming this server and "
                           "ORVANE_SAMBA_CREDENTIALS how to sign on");
    return std::make_unique<HostNetApi>();
}

} // namespace orvane::host
