#include "platform/rehearsal/DcCopy.h"

#include "platform/Descriptor.h"
#include "platform/rehearsal/SiteCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>

namespace orvane::rehearsal {

namespace {

// Replaces the file (a link, a file or a mount of the copy's /etc) with
// text: a link's target, elsewhere on the machine, is never written through.
void replaceFile(const QString& path, const QByteArray& text) {
    // A file mounted there (a container's /etc/hosts) leaves this namespace.
    if (::umount2(QFile::encodeName(path).constData(), MNT_DETACH) != 0 && errno != EINVAL &&
        errno != ENOENT)
        failCopy(QStringLiteral("cannot replace %1").arg(path));
    if (QFile::exists(path) || QFileInfo(path).isSymLink())
        if (!QFile::remove(path))
            failCopy(QStringLiteral("cannot replace %1").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(text) != text.size())
        failCopy(QStringLiteral("cannot write %1").arg(path));
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
}

} // namespace

void mountScratch(const QString& folder) {
    if (::mount("orvane-rehearsal", QFile::encodeName(folder).constData(), "tmpfs",
                MS_NOSUID | MS_NODEV, "mode=0700") != 0)
        failCopy(QStringLiteral("cannot put a scratch folder on %1").arg(folder));
}

QString settleCopyConfig(const QString& dcFolder, const QString& shareCommand) {
    const QString path = dcFolder + QStringLiteral("/etc/smb.conf");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        failCopy(QStringLiteral("cannot read %1").arg(path));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    for (const char* folder : {"run", "log"})
        if (!QDir(dcFolder).mkpath(QLatin1StringView(folder)))
            failCopy(QStringLiteral("cannot make %1/%2").arg(dcFolder, QLatin1StringView(folder)));
    const QString log = dcFolder + QStringLiteral("/log/samba.log");
    // As scripts/samba/server runs its test DC: loopback only, and no
    // update of a DNS the copy must not reach.
    QString settings = QStringLiteral("\tinterfaces = lo\n"
                                      "\tbind interfaces only = yes\n"
                                      "\tdisable netbios = yes\n"
                                      "\tserver services = -dnsupdate\n"
                                      "\tdns update command = /bin/true\n"
                                      "\tpid directory = %1/run\n"
                                      "\tncalrpc dir = %1/run/ncalrpc\n"
                                      "\tlog file = %2\n"
                                      "\tmax log size = 0\n")
                           .arg(dcFolder, log) +
                       // The site's shares are carried into the registry; a
                       // DC that takes new shares takes them there too.
                       QStringLiteral("\tregistry shares = yes\n");
    if (!shareCommand.isEmpty())
        for (const char* operation : {"add", "change", "delete"})
            settings += QStringLiteral("\t%1 share command = \"%2\" %1\n")
                            .arg(QLatin1StringView(operation), shareCommand);
    const qsizetype global = text.indexOf(QStringLiteral("[global]\n"));
    if (global < 0)
        throw CopyError(QStringLiteral("%1 has no [global] section").arg(path).toStdString());
    QString settled = text;
    settled.insert(global + 9, settings);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(settled.toUtf8()) < 0)
        failCopy(QStringLiteral("cannot write %1").arg(path));
    return log;
}

QStringList copyServerEmptiedFolders() {
    return {QStringLiteral("/run/samba"), QStringLiteral("/var/lib/samba"),
            QStringLiteral("/var/cache/samba"), QStringLiteral("/var/log/samba")};
}

void pointNamesAtCopy(const DomainController& dc) {
    const QByteArray host = copyHostName(dc).toUtf8(), realm = dc.realm.toUtf8();
    const QByteArray domain = dc.realm.toLower().toUtf8();
    // The copy's name first, so that no line of the machine's own wins.
    QFile hosts(QStringLiteral("/etc/hosts"));
    const QByteArray machine = hosts.open(QIODevice::ReadOnly) ? hosts.readAll() : QByteArray();
    hosts.close();
    replaceFile(hosts.fileName(),
                "127.0.0.1\t" + host + '\t' + copyServerName().toLower().toUtf8() + '\n' + machine);
    replaceFile(QStringLiteral("/etc/resolv.conf"),
                "nameserver 127.0.0.1\nsearch " + domain + '\n');
    replaceFile(QStringLiteral("/etc/krb5.conf"),
                "[libdefaults]\n\tdefault_realm = " + realm +
                    "\n\tdns_lookup_kdc = false\n\tdns_lookup_realm = false\n"
                    "\trdns = false\n\n[realms]\n\t" +
                    realm + " = {\n\t\tkdc = 127.0.0.1\n\t}\n\n[domain_realm]\n\t." + domain +
                    " = " + realm + "\n\t" + domain + " = " + realm + '\n');
}

void enterOwnNetwork() {
    if (::unshare(CLONE_NEWNET) != 0)
        failCopy(QStringLiteral("cannot make a network of its own"));
    const Descriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (!socket.valid() || ::ioctl(socket.get(), SIOCGIFFLAGS, &request) != 0)
        failCopy(QStringLiteral("cannot read the loopback device"));
    request.ifr_flags |= IFF_UP;
    if (::ioctl(socket.get(), SIOCSIFFLAGS, &request) != 0)
        failCopy(QStringLiteral("cannot bring the loopback device up"));
}

bool listensOnLoopback(int port) {
    const Descriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return socket.valid() && ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address),
                                       sizeof address) == 0;
}

} // namespace orvane::rehearsal
