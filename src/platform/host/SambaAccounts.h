#pragma once

// Samba's account database on this machine, kept in step with the account
// files: an SMB client signs on with the same password, and a locked or
// deleted account is locked or gone there too. Only Samba's own code writes
// it: its passdb library in this process, as smbpasswd -L calls it
// (SambaPassdb), and smbpasswd itself in local mode, the password on
// standard input, where the database cannot be changed in process.

#include "platform/host/SambaPassdb.h"

#include <QString>
#include <QStringList>

namespace orvane::host {

class SambaAccounts {
public:
    // `smbConf`: Samba's configuration here; `server`: its file server. Without
    // the server Samba is not installed (its client tools may be), and
    // nothing is kept in step.
    SambaAccounts(QString smbConf, QString server, QString tool);

    bool installed() const;
    bool add(const QString& name, QStringView password, bool locked);
    bool setPassword(const QString& name, QStringView password);
    // An account Samba does not hold is no failure.
    bool remove(const QString& name);

private:
    // Whether smbpasswd is to do what the library could not (said on stderr
    // once for each reason).
    bool throughTool(const SambaPassdb::Result& result);
    // Said on stderr when Samba refused a change; false.
    static bool refused(const char* what, const QString& name, const QString& words);
    bool run(const QStringList& arguments, const QByteArray& input = {});

    QString m_smbConf;
    QString m_server;
    QString m_tool;
    SambaPassdb m_passdb{m_smbConf};
    QString m_toolBecause;
};

} // namespace orvane::host
