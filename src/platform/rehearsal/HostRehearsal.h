#pragma once

// A rehearsal on this machine's own accounts: the window, on the host
// backend, in a disposable copy of the site.

#include <QString>
#include <QStringList>

namespace orvane::rehearsal {

class SiteCopy;

// Lays the host site's copy in the mount namespace of copy: the site's
// folders overlaid (those named in keptBelow with what is mounted below
// them kept on top), every other stored file read-only, the real servers'
// run-time folders empty, the system log and audit trail out of reach, and
// the home root the copy's registry names overlaid too.
void layHostSite(SiteCopy& copy, const QStringList& keptBelow = {});

// Makes the copy and runs the window (program, with arguments) in it until
// it ends; returns its exit status. Throws CopyError when the copy cannot be
// made, before anything runs in it.
int rehearseOnHost(const QString& program, const QStringList& arguments);

} // namespace orvane::rehearsal
