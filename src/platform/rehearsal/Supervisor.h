#pragma once

// Runs a program as the only one of a PID namespace of its own, under a
// small init that this process forks. When the program ends, or this
// process goes for any reason (kill -9 included), the kernel ends every
// process of the namespace: nothing started in a copy outlives it.

#include <QString>
#include <QStringList>

namespace orvane::rehearsal {

// Runs program with arguments and this process's environment plus extra
// ("NAME=value"); returns its exit status, 128 + the signal that ended it,
// or throws CopyError when it could not be started.
int superviseInOwnPids(const QString& program, const QStringList& arguments,
                       const QStringList& extraEnvironment);

} // namespace orvane::rehearsal
