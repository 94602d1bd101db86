#include "platform/WaylandSocket.h"

#include "platform/AskingUser.h"
#include "platform/Descriptor.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace orvane {

namespace {

QString reason(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

QString adoptWaylandSocket() {
    if (!qEnvironmentVariableIsSet("ORVANE_WAYLAND_SOCKET"))
        return {};
    const QByteArray path = qgetenv("ORVANE_WAYLAND_SOCKET");
    qunsetenv("ORVANE_WAYLAND_SOCKET");
    const QString shown = QFile::decodeName(path);
    const std::optional<uid_t> owner = askingUid();
    if (!owner)
        return QStringLiteral("PKEXEC_UID names no user: the Wayland socket %1 is not used")
            .arg(shown);

    // O_PATH: the socket file itself, never a link's target, held while it is
    // checked and connected to.
    Descriptor file(::open(path.constData(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
    if (!file.valid())
        return QStringLiteral("%1 is no Wayland socket: %2").arg(shown, reason(errno));
    struct stat st {};
    if (::fstat(file.get(), &st) != 0)
        return QStringLiteral("%1 is no Wayland socket: %2").arg(shown, reason(errno));
    if (S_ISLNK(st.st_mode))
        return QStringLiteral("%1 is no Wayland socket: it is a symbolic link").arg(shown);
    if (!S_ISSOCK(st.st_mode))
        return QStringLiteral("%1 is no Wayland socket").arg(shown);
    if (st.st_uid != *owner)
        return QStringLiteral("%1 is no Wayland socket of uid %2's: it belongs to uid %3")
            .arg(shown)
            .arg(*owner)
            .arg(st.st_uid);

    // Connected through the descriptor: /proc/self/fd/N reaches the socket it
    // holds, whatever now lies at the path.
    Descriptor connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!connection.valid())
        return QStringLiteral("cannot make a socket: %1").arg(reason(errno));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d", file.get());
    if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
        0)
        return QStringLiteral("cannot connect to the Wayland socket %1: %2")
            .arg(shown, reason(errno));
    ucred peer{};
    socklen_t length = sizeof peer;
    if (::getsockopt(connection.get(), SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return QStringLiteral("cannot tell who answers on %1: %2").arg(shown, reason(errno));
    if (peer.uid != *owner)
        return QStringLiteral("%1 is answered by uid %2, not by uid %3")
            .arg(shown)
            .arg(peer.uid)
            .arg(*owner);

    // The client library takes the descriptor over in this process, so it
    // stays close-on-exec: no program started later inherits it.
    qputenv("WAYLAND_SOCKET", QByteArray::number(connection.release()));
    qunsetenv("WAYLAND_DISPLAY");
    return {};
}

} // namespace orvane
