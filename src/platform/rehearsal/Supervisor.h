#pragma once

// Runs a program as the only one of a PID namespace of its own, under a
// small init that this process forks. When the program ends, or this
// process goes for any reason (kill -9 included), the kernel ends every
// process of the namespace: nothing started in a copy outlives it.

#include "platform/Descriptor.h"

#include <QString>
#include <QStringList>
#include <sys/types.h>

namespace orvane::rehearsal {

// Runs program with arguments and this process's environment plus extra
// ("NAME=value"); returns its exit status, 128 + the signal that ended it,
// or throws CopyError when it could not be started.
int superviseInOwnPids(const QString& program, const QStringList& arguments,
                       const QStringList& extraEnvironment);

// A server run the same way beside the window: in PID and mount namespaces
// of its own, under an init the kernel kills when this process goes, with
// its output to /dev/null and the folders named in emptied (its run-time
// and state folders) starting empty. It is killed with every process of its
// namespace when this object goes.
class ServerInOwnPids {
public:
    // environment ("NAME=value") is the whole of the server's. Throws
    // CopyError when it cannot be started.
    ServerInOwnPids(const QString& program, const QStringList& arguments,
                    const QStringList& environment, const QStringList& emptied);
    ~ServerInOwnPids();
    ServerInOwnPids(const ServerInOwnPids&) = delete;
    ServerInOwnPids& operator=(const ServerInOwnPids&) = delete;

    // Whether it still runs (its init has not ended).
    bool running();

private:
    pid_t m_init = -1;
    bool m_ended = false;
    Descriptor m_alive;
};

} // namespace orvane::rehearsal
