#pragma once

// Sharing folders through this machine's Samba, only through Samba's own
// configuration interface: its registry configuration (libsmbconf in this
// process, as `net conf` writes it) where the site serves registry shares,
// else usershares (`net usershare`), which Debian's smb.conf allows as
// installed (100 of them). Samba's settings are read by Samba itself
// (testparm); smb.conf is never written.

#include "platform/host/RegistryShares.h"
#include "platform/netapi/LmTypes.h"

#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace orvane::host {

// A share as Samba serves it here.
struct SambaShare {
    // Where Samba keeps it: smb.conf (or another file) and the registry are
    // listed together by testparm; usershares apart.
    enum class Kept { Configuration, Usershare };

    QString name;
    QString path;
    QString comment;
    bool printable = false;
    Kept kept = Kept::Configuration;
};

// The settings that decide where a new share goes, as testparm reads them.
struct ShareSettings {
    // `registry shares = yes`, or the whole configuration in the registry.
    bool registry = false;
    // Empty, or a maximum of 0: the site takes no usershares.
    QString usersharePath;
    int usershareMax = 0;
    // The shares smb.conf (and the files it includes) defines: taken names.
    QStringList fileShares;
    // A [homes] section: smbd serves each account its own home folder under
    // the account's name, ahead of any other share of that name.
    bool homes = false;
    bool homesWritable = false;

    bool usershares() const { return !usersharePath.isEmpty() && usershareMax > 0; }
};

struct SambaTools {
    QString smbConf = QStringLiteral("/etc/samba/smb.conf");
    // Samba's file server: without it nothing is shared here.
    QString smbd = QStringLiteral("/usr/sbin/smbd");
    QString net = QStringLiteral("/usr/bin/net");
    QString testparm = QStringLiteral("/usr/bin/testparm");
};

class SambaShares {
public:
    explicit SambaShares(SambaTools tools = {});

    // Whether Samba's file server and its tools are here; without them every
    // call answers that the server service is not started (2114).
    bool served() const;

    // Every share Samba serves here, those of smb.conf and the registry first,
    // then the usershares; 0 or a result code.
    NET_API_STATUS list(std::vector<SambaShare>& shares);
    // 0; 2118 for a name taken (letter case ignored), an account's name
    // included where Samba keeps it for the account's home service (said on
    // stderr with what to change); 2116 for a path that is
    // not an existing folder; 2121 when the site's configuration takes no
    // more shares (said on stderr with what to change); 123 for a name Samba
    // or Windows' clients cannot use; 87 for a path Samba would read as
    // another; 5 when Samba refuses it (its words on stderr).
    NET_API_STATUS add(const QString& name, const QString& path, const QString& remark);
    // 0; 2310 for no such share; 5 for one that smb.conf holds, which only
    // the site's administrator changes.
    NET_API_STATUS remove(const QString& name);

    // The settings as they stand, read again when smb.conf changes.
    ShareSettings settings();

private:
    QString setting(const char* name, const QString& section = {}) const;
    // The section names of a configuration as a Samba tool prints it.
    QStringList sectionNames(const QStringList& netArguments, bool testparm) const;
    NET_API_STATUS addUsershare(const QString& name, const QString& path, const QString& remark,
                                const ShareSettings& settings, int usershares);
    NET_API_STATUS homeServiceHolds(const QString& name, const QString& path,
                                    const ShareSettings& settings) const;
    NET_API_STATUS addToRegistry(const QString& name, const QString& path, const QString& remark);
    // Whether net conf is to do what libsmbconf could not (said on stderr
    // when the reason is new).
    bool registryThroughNet(const RegistryShares::Result& result);

    SambaTools m_tools;
    // Registry shares in this process; net conf only where it cannot.
    RegistryShares m_registry{m_tools.smbConf};
    QString m_registryUnreachable;
    // One change at a time from this process; Orvane's processes take turns
    // through a lock on smb.conf.
    std::mutex m_changes;
    std::mutex m_settingsLock;
    std::optional<ShareSettings> m_settings;
    struct stat m_settingsOf {};
};

} // namespace orvane::host
