#pragma once

// How the adapter names a server to libnetapi. libnetapi ties a cached
// connection to the spelling it first saw (the same server by a second spelling
// is refused with 5) and does not strip the "\\" callers put before a name, so
// every name a caller passes becomes one spelling per machine.

#include "platform/netapi/LmTypes.h"
#include "platform/samba/LibNetApi.h"

#include <QString>
#include <QStringList>

namespace orvane::samba {

class ServerNames {
public:
    // `target` is the machine a null server stands for; empty for this machine.
    // `localNames` are the names this machine answers to.
    ServerNames(const QString& target, const QStringList& localNames);

    // This machine's host names and loopback addresses.
    static QStringList thisMachine();

    lib::Server spell(LPCWSTR servername) const;
    lib::Server spell(const QString& servername) const;
    // The machine a null server stands for, for messages.
    QString target() const;

private:
    bool isLocal(const QString& name) const;

    QStringList m_localNames;
    lib::Server m_target;
};

} // namespace orvane::samba
