#include "platform/host/RegistryShares.h"

#include "platform/host/SambaCallScope.h"
#include "platform/host/SambaRegistryCalls.h"

#include <QFile>
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <unistd.h>

namespace orvane::host {

namespace {

// net conf's checks of a name (INVALID_SHARENAME_CHARS, source3/include/smb.h).
constexpr char kInvalidShareNameChars[] = "%<>*?|/\\+=;:\",";

QString said(sbcErr error) {
    return QString::fromUtf8(sbcErrorString(error));
}

struct CloseConfiguration {
    void operator()(smbconf_ctx* conf) const { smbconf_shutdown(conf); }
};

// One registry transaction, cancelled unless committed.
class Transaction {
public:
    explicit Transaction(smbconf_ctx* conf)
        : m_conf(conf), m_started(smbconf_transaction_start(conf)),
          m_open(SBC_ERROR_IS_OK(m_started)) {}
    ~Transaction() {
        if (m_open)
            smbconf_transaction_cancel(m_conf);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    sbcErr started() const { return m_started; }
    // The database ends a transaction whose commit fails.
    sbcErr commit() {
        m_open = false;
        return smbconf_transaction_commit(m_conf);
    }

private:
    smbconf_ctx* m_conf;
    sbcErr m_started;
    bool m_open;
};

// Samba's registry configuration, opened as net conf opens it (source3/
// utils/net.c and net_conf.c): smb.conf's [global] section loaded as a
// client (it says where registry.tdb is; loaded on every call, as each net
// run does, so that a change of smb.conf counts at once), a talloc frame
// open throughout (SambaCallScope), then the registry back end. A
// clustered Samba's is left to net.
class Session {
public:
    explicit Session(const QString& smbConf) {
        // registry.tdb is root's alone (0600), and net conf is run as root.
        if (::geteuid() != 0) {
            m_whyNot = QStringLiteral("Samba's registry is opened by root only");
            return;
        }
        if (!lp_load_client(QFile::encodeName(smbConf).constData())) {
            m_whyNot = QStringLiteral("Samba cannot load %1").arg(smbConf);
            return;
        }
        if (lp_clustering()) {
            m_whyNot = QStringLiteral("a clustered Samba's registry is reached through ctdb");
            return;
        }
        smbconf_ctx* conf = nullptr;
        const sbcErr opened = smbconf_init_reg(nullptr, &conf, nullptr);
        if (!SBC_ERROR_IS_OK(opened)) {
            m_whyNot = QStringLiteral("Samba's registry cannot be opened: ") + said(opened);
            return;
        }
        m_conf.reset(conf);
    }

    smbconf_ctx* conf() const { return m_conf.get(); }
    const QString& whyNot() const { return m_whyNot; }

private:
    SambaCallScope m_scope;
    std::unique_ptr<smbconf_ctx, CloseConfiguration> m_conf;
    QString m_whyNot;
};

RegistryShares::Result refused(QString words) {
    return {RegistryShares::Outcome::Refused, std::move(words)};
}

// Makes the change in one registry transaction, committed unless the change
// ends with an outcome of its own; the outcome that ends it, if any.
template <typename Change>
std::optional<RegistryShares::Result> inTransaction(const Session& session, Change change) {
    Transaction transaction(session.conf());
    if (!SBC_ERROR_IS_OK(transaction.started()))
        return refused(QStringLiteral("error starting transaction: ") +
                       said(transaction.started()));
    if (std::optional<RegistryShares::Result> ended = change())
        return ended;
    if (const sbcErr committed = transaction.commit(); !SBC_ERROR_IS_OK(committed))
        return refused(QStringLiteral("error committing transaction: ") + said(committed));
    return std::nullopt;
}

} // namespace

RegistryShares::RegistryShares(QString smbConf) : m_smbConf(std::move(smbConf)) {}

RegistryShares::Result RegistryShares::add(const QString& name, const QString& path,
                                           const QString& comment) const {
    const QByteArray share = name.toUtf8();
    // What net conf addshare checks before it opens a transaction. UTF-8
    // never has these characters inside a character of several bytes.
    if (share.isEmpty() || share.contains('\0') ||
        std::any_of(share.begin(), share.end(),
                    [](char c) { return std::strchr(kInvalidShareNameChars, c) != nullptr; }))
        return refused(QStringLiteral("share name %1 contains invalid characters (any of %2)")
                           .arg(name, QLatin1StringView(kInvalidShareNameChars)));
    if (name.compare(u"global", Qt::CaseInsensitive) == 0)
        return refused(QStringLiteral("'global' is not a valid share name"));
    if (!path.startsWith(u'/'))
        return refused(QStringLiteral("path '%1' is not an absolute path").arg(path));

    const Session session(m_smbConf);
    if (!session.conf())
        return {Outcome::Unreachable, session.whyNot()};
    const std::optional<Result> ended = inTransaction(session, [&]() -> std::optional<Result> {
        // Looked for inside the transaction: no other writer can add it meanwhile.
        const sbcErr created = smbconf_create_share(session.conf(), share.constData());
        if (created == SBC_ERR_FILE_EXISTS)
            return Result{Outcome::Exists, QStringLiteral("share %1 already exists").arg(name)};
        if (!SBC_ERROR_IS_OK(created))
            return refused(QStringLiteral("Error creating share %1: %2").arg(name, said(created)));
        // net conf addshare's settings, in its order; libsmbconf writes each
        // under its canonical name ("writeable = yes" as "read only = no").
        const QByteArray pathText = QFile::encodeName(path);
        const QByteArray commentText = comment.toUtf8();
        const std::pair<const char*, const char*> settings[] = {
            {"path", pathText.constData()},
            {"comment", commentText.constData()},
            {"guest ok", "no"},
            {"writeable", "yes"},
        };
        for (const auto& [setting, value] : settings) {
            const sbcErr set =
                smbconf_set_parameter(session.conf(), share.constData(), setting, value);
            if (!SBC_ERROR_IS_OK(set))
                return refused(QStringLiteral("Error setting parameter %1: %2")
                                   .arg(QLatin1StringView(setting), said(set)));
        }
        return std::nullopt;
    });
    return ended.value_or(Result{Outcome::Done, {}});
}

RegistryShares::Result RegistryShares::remove(const QString& name) const {
    const QByteArray share = name.toUtf8();
    const Session session(m_smbConf);
    if (!session.conf())
        return {Outcome::Unreachable, session.whyNot()};
    const std::optional<Result> ended = inTransaction(session, [&]() -> std::optional<Result> {
        const sbcErr deleted = smbconf_delete_share(session.conf(), share.constData());
        if (deleted == SBC_ERR_NO_SUCH_SERVICE)
            return Result{Outcome::NoSuchShare,
                          QStringLiteral("Error deleting share %1: %2").arg(name, said(deleted))};
        if (!SBC_ERROR_IS_OK(deleted))
            return refused(QStringLiteral("Error deleting share %1: %2").arg(name, said(deleted)));
        return std::nullopt;
    });
    if (ended)
        return *ended;
    // Kept in share_info.tdb apart from the registry, as net conf delshare
    // leaves it: gone after the share, or never kept.
    const SambaNtStatus acl = delete_share_security(share.constData());
    if (acl.v != 0 && acl.v != kSambaNtStatusNotFound)
        return refused(QStringLiteral("deleting share acl failed for %1: NT status 0x%2")
                           .arg(name)
                           .arg(acl.v, 8, 16, QChar(u'0')));
    return {Outcome::Done, {}};
}

} // namespace orvane::host
