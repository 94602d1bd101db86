#pragma once

// Shares in Samba's registry configuration, written in this process through
// Samba's own libsmbconf, exactly as `net conf addshare NAME PATH writeable=y
// guest_ok=n COMMENT` and `net conf delshare NAME` write them, without a run
// of net (about 40 ms) for each.

#include <QString>

namespace orvane::host {

class RegistryShares {
public:
    enum class Outcome {
        Done,
        // The registry holds a share of that name (letter case ignored).
        Exists,
        // The registry holds no share of that name.
        NoSuchShare,
        // Samba refused it, as net would have: the reason is in words.
        Refused,
        // The registry could not be opened in this process (words says why);
        // nothing was written, and net may still reach it.
        Unreachable,
    };
    struct Result {
        Outcome outcome;
        QString words;
    };

    // smbConf: the configuration whose [global] section says where Samba
    // keeps its state, registry.tdb among it.
    explicit RegistryShares(QString smbConf);

    // The share and its four settings in one transaction, which refuses a
    // name the registry already holds.
    Result add(const QString& name, const QString& path, const QString& comment) const;
    // The share, then its access list, as net conf delshare removes them.
    Result remove(const QString& name) const;

private:
    QString m_smbConf;
};

} // namespace orvane::host
