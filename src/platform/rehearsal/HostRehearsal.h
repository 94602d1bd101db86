#pragma once

// A rehearsal on this machine's own accounts: the window, on the host
// backend, in a disposable copy of the site.

#include <QString>
#include <QStringList>

namespace orvane::rehearsal {

// Makes the copy and runs the window (program, with arguments) in it until
// it ends; returns its exit status. Throws CopyError when the copy cannot be
// made, before anything runs in it.
int rehearseOnHost(const QString& program, const QStringList& arguments);

} // namespace orvane::rehearsal
