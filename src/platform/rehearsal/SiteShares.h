#pragma once

// A domain controller's shares live in its smb.conf and registry, which
// Samba's domain backup does not carry. The copy gets them from the DC
// itself: its disk shares as it lists them, and whether it takes new ones,
// read over the network with the window's own credentials.

#include <QByteArray>
#include <QString>
#include <vector>

namespace orvane::rehearsal {

struct SiteShare {
    QString name, path, remark;
};

struct SiteShares {
    std::vector<SiteShare> shares;
    // Whether the DC runs an add share command (without one Samba refuses
    // every new share).
    bool takesNewShares = false;
};

// Reads the server's shares and asks whether it takes new ones, logged on
// as Samba's tools log on from the environment (USER and PASSWD, or a
// ticket cache). Nothing on the server is changed: the question is an
// addition it must refuse (see the .cpp). Throws CopyError.
SiteShares readSiteShares(const QString& server);

// The shares as a child process hands them to the rehearsal, and back.
QByteArray sharesToText(const SiteShares& shares);
SiteShares sharesFromText(const QByteArray& text); // throws CopyError

// The share names a restored DC's smb.conf defines itself (sysvol,
// netlogon), which the copy keeps as the restore made them.
QStringList sectionsOf(const QByteArray& smbConf);

// Writes the shares (but those the copy's smb.conf defines) into the copy's
// registry, as `net conf addshare` writes them. A share Samba refuses is
// left out with a line on stderr. Throws CopyError when the registry
// cannot be opened.
void carrySharesIntoCopy(const SiteShares& shares, const QString& copyConf);

} // namespace orvane::rehearsal
