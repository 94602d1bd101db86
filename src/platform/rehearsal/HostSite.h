#pragma once

// What the host backend's site is made of on this machine: the folders a
// copy of it lays over, and those that only hold running servers' state.

#include <QString>
#include <QStringList>

namespace orvane::rehearsal {

struct SiteFolders {
    // Copied: account files and settings, Samba's databases, registry and
    // usershares, the machine folder, the home root, mail spools.
    QStringList overlaid;
    // Started empty: run-time state (locks, sockets) of the real servers.
    QStringList emptied;
    // Login records the account tools reset, whose writes go nowhere.
    QStringList discarded;
};

struct SiteSettings {
    QString machineFolder;
    QString homeRoot; // empty when none is set
    // Samba's folders as its own settings name them; empty without Samba.
    QStringList sambaData;    // state, private, cache, usershare folders
    QStringList sambaRunTime; // lock, pid and ncalrpc folders
};

// Samba's folders, as testparm reads them from smb.conf, its account
// database's among them. Throws CopyError when that database is not in a
// file (a directory server's).
void readSambaFolders(SiteSettings& settings, const QString& smbConf, const QString& testparm);

// The folders of the site. A folder that does not exist yet is copied
// through its nearest existing parent, so that the copy can make it; one
// inside another copied folder is copied with it.
SiteFolders hostSiteFolders(const SiteSettings& settings);

} // namespace orvane::rehearsal
