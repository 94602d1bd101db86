#pragma once

// The pieces of a domain controller's copy that are this machine's doing
// (Samba's own tools make and restore the copy): its scratch in memory, its
// settings, the names that lead to it and the network it serves on.

#include "platform/rehearsal/DomainController.h"

#include <QString>
#include <QStringList>

namespace orvane::rehearsal {

// A file system in memory over the (empty) folder, in this process's mount
// namespace only: it goes when the namespace does. Throws CopyError.
void mountScratch(const QString& folder);

// Settings added to the restored DC's smb.conf: it serves on loopback only,
// keeps its pid, sockets and log in dcFolder, updates no DNS, and serves
// registry shares; with a shareCommand (smbd appends its arguments) it
// takes new shares as the site's DC does. Returns its log file. Throws
// CopyError.
QString settleCopyConfig(const QString& dcFolder, const QString& shareCommand);

// Samba's compiled-in run-time and state folders, which the copy's server
// gets empty ones of (winbindd's socket, ntp_signd's).
QStringList copyServerEmptiedFolders();

// In this mount namespace's /etc (which must be a copy): the copy's name
// resolves to 127.0.0.1, DNS asks 127.0.0.1, and Kerberos finds the realm's
// KDC there. Throws CopyError.
void pointNamesAtCopy(const DomainController& dc);

// This thread (and what it starts from now on) leaves the machine's network
// for one of its own, with only loopback, up. Throws CopyError.
void enterOwnNetwork();

// Whether something listens on 127.0.0.1's TCP port in this network.
bool listensOnLoopback(int port);

} // namespace orvane::rehearsal
