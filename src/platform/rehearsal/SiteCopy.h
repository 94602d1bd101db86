#pragma once

// A disposable copy of this machine's site, made in a mount namespace of this
// process's own. The site's folders become overlays: the real folder below,
// seen read-only, and a scratch layer in memory above, which every change
// goes to. Every other mount that keeps stored files is made read-only, so
// that nothing done in the copy, by Orvane or by the programs it runs,
// reaches the real machine. Nothing of the copy is on disk: when the last
// process of the namespace ends, the kernel drops its mounts and their
// scratch layers with them.

#include <QString>
#include <QStringList>
#include <cerrno>
#include <stdexcept>

namespace orvane::rehearsal {

// Why the copy could not be made: which step, on what, and the system's word.
class CopyError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws CopyError for the step that failed, with the system's word for error.
[[noreturn]] void failCopy(const QString& what, int error = errno);

class SiteCopy {
public:
    // Leaves the machine's mount namespace for one of this process's own,
    // whose changes propagate nowhere. The process must not have started a
    // thread yet.
    SiteCopy();

    // Folders that stay as writable as they are (temporary files, sockets).
    void keepWritable(const QStringList& folders);
    // Makes every mount that keeps stored files read-only, but for those kept
    // writable and those already so.
    void makeTheRestReadOnly();
    // The folder becomes an overlay of itself with a scratch layer above, in
    // the mount namespace this process is in.
    static void overlay(const QString& folder);
    // The folder is replaced by an empty one of the same owner and mode, for
    // a program's run-time state (locks, sockets) that the copy must not
    // share with the real machine's running servers.
    void empty(const QString& folder);
    // The system log's and the journal's sockets are hidden: what the copy's
    // programs log goes nowhere, and an audit of the machine shows no change
    // that was made only to the copy.
    void hideSystemLog();
    // Writes to the file go nowhere (the login records useradd resets).
    void discardWrites(const QString& file);
    // Programs run from now on cannot write to the kernel's audit trail.
    static void dropAuditWrite();

private:
    static void mountTmpfs(const QString& folder, const QString& options);

    QStringList m_kept;
};

} // namespace orvane::rehearsal
