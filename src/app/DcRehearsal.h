#pragma once

// A rehearsal on the samba backend when its server is an Active Directory
// domain controller: the window on a copy of that DC, made by Samba's own
// backup and restore into memory and served in a network of its own.

#include <QString>
#include <QStringList>

namespace orvane {

// The argument that makes orvane-rehearse a step of the copy: with a server
// and a new file, it writes the server's shares there, then ends.
inline constexpr char kSiteSharesStep[] = "--site-shares";

// Returns the window's exit status; 2 when the server is no domain
// controller (nothing is offered there), 1 when the copy cannot be made.
// Must be called before this process starts a thread.
int rehearseOnDomainController(const QString& window, const QStringList& arguments, int& argc,
                               char** argv, const QString& scratch);

} // namespace orvane
