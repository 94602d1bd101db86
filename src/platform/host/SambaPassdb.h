#pragma once

// Samba's account database on this machine, changed in this process through
// Samba's own passdb library exactly as `smbpasswd -L` changes it
// (local_password_change), without a run of smbpasswd (about 38 ms) for
// each change.

#include <QString>
#include <QStringView>

namespace orvane::host {

class SambaPassdb {
public:
    enum class Outcome {
        Done,
        // Samba holds no account of that name (a new password, a deletion).
        NoSuchAccount,
        // Samba refused it, as smbpasswd would have: the reason is in words.
        Refused,
        // The database cannot be changed in this process (words says why);
        // nothing was written, and smbpasswd may still change it.
        Unreachable,
    };
    struct Result {
        Outcome outcome;
        QString words;
    };

    // smbConf: the configuration whose [global] section names the database.
    explicit SambaPassdb(QString smbConf);

    // Adds the account of this Unix account with its password, disabled if
    // locked: what smbpasswd -a and then -d make, never enabled in between.
    // An account Samba holds already gets the password.
    Result add(const QString& name, QStringView password, bool locked) const;
    Result setPassword(const QString& name, QStringView password) const;
    Result remove(const QString& name) const;

private:
    Result change(const QString& name, int flags, QStringView password) const;

    QString m_smbConf;
};

} // namespace orvane::host
