#include "platform/host/SambaPassdb.h"

#include "platform/Secret.h"
#include "platform/host/SambaCallScope.h"
#include "platform/host/SambaPassdbCalls.h"

#include <QFile>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::host {

namespace {

// The file of a tdbsam database: the backend's location, else passdb.tdb in
// the private dir, as Samba works it out (source3/passdb/pdb_interface.c,
// make_pdb_method_name, and pdb_tdb.c, pdb_init_tdbsam). Nothing for another
// backend.
std::optional<QByteArray> tdbsamFile(const QByteArray& backend, const QByteArray& privateDir) {
    const qsizetype colon = backend.indexOf(':');
    if ((colon < 0 ? backend : backend.first(colon)).trimmed() != "tdbsam")
        return std::nullopt;
    const QByteArray location = colon < 0 ? QByteArray() : backend.mid(colon + 1).trimmed();
    return location.isEmpty() ? privateDir + "/passdb.tdb" : location;
}

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const QByteArray& path) {
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

// The database this process opened. Samba keeps it open for the process's
// life (tdbsam and the secrets database each open their file once, in the
// private dir loaded then), so a later configuration that names another
// one, or a file replaced meanwhile, is left to smbpasswd. Guarded by the
// SambaCallScope lock.
struct OpenedDatabase {
    QByteArray backend;
    QByteArray privateDir;
    QByteArray file;
    // Once the file exists: the first change may create it.
    std::optional<FileIdentity> identity;
};
std::optional<OpenedDatabase> g_opened;

// What smbpasswd -L does before its change (source3/utils/smbpasswd.c):
// smb.conf loaded (on every call, as each smbpasswd run loads it, so that
// a change of smb.conf counts at once), then the database set up, once per
// process here. Why it cannot be done, or nothing.
QString openHere(const QString& smbConf) {
    // smbpasswd -L is root's only, and the databases are root's alone (0600).
    if (::geteuid() != 0)
        return QStringLiteral("Samba's account database is changed by root only");
    if (!lp_load_global(QFile::encodeName(smbConf).constData()))
        return QStringLiteral("Samba cannot load %1").arg(smbConf);
    if (lp_clustering())
        return QStringLiteral("a clustered Samba's account database is reached through ctdb");
    const QByteArray backend = QByteArray(lp_passdb_backend()).trimmed();
    const QByteArray privateDir = lp_private_dir();
    const std::optional<QByteArray> file = tdbsamFile(backend, privateDir);
    if (!file)
        return QStringLiteral("passdb backend = %1 is not opened in process")
            .arg(QString::fromUtf8(backend));
    if (g_opened) {
        if (g_opened->backend != backend || g_opened->privateDir != privateDir)
            return QStringLiteral("Samba's configuration now names another account database "
                                  "(%1, private dir %2) than this process opened (%3, %4)")
                .arg(QString::fromUtf8(backend), QFile::decodeName(privateDir),
                     QString::fromUtf8(g_opened->backend), QFile::decodeName(g_opened->privateDir));
        if (g_opened->identity && identityOf(*file) != g_opened->identity)
            return QStringLiteral("%1 was replaced since this process opened it")
                .arg(QFile::decodeName(*file));
        return {};
    }
    // Samba ends the whole process where it cannot open the secrets database
    // (which holds the machine's SID, the stem of every account's), and
    // smbpasswd checks it first: here, that the private dir takes it.
    struct stat st {};
    if (::stat(privateDir.constData(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::access(privateDir.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("Samba's private dir %1 is not a folder this process can write")
            .arg(QFile::decodeName(privateDir));
    const QByteArray secrets = privateDir + "/secrets.tdb";
    if (::stat(secrets.constData(), &st) == 0 &&
        (!S_ISREG(st.st_mode) || ::access(secrets.constData(), R_OK | W_OK) != 0))
        return QStringLiteral("%1 cannot be opened for writing").arg(QFile::decodeName(secrets));
    if (!initialize_password_db(false, nullptr))
        return QStringLiteral("Samba's account database (passdb backend = %1) cannot be set "
                              "up in this process")
            .arg(QString::fromUtf8(backend));
    g_opened = OpenedDatabase{backend, privateDir, *file, std::nullopt};
    return {};
}

// Samba's lookup cache for one call (SambaPassdbCalls.h says why).
class CallCache {
public:
    // Ample for the few accounts and Unix entries one change looks up;
    // Samba drops the oldest beyond it.
    CallCache() { memcache_set_global(memcache_init(nullptr, 1024 * 1024)); }
    ~CallCache() { memcache_set_global(nullptr); }
    CallCache(const CallCache&) = delete;
    CallCache& operator=(const CallCache&) = delete;
};

} // namespace

SambaPassdb::SambaPassdb(QString smbConf) : m_smbConf(std::move(smbConf)) {}

SambaPassdb::Result SambaPassdb::change(const QString& name, int flags,
                                        QStringView password) const {
    const QByteArray user = name.toUtf8();
    const Secret secret(password);
    const SambaCallScope scope;
    if (const QString whyNot = openHere(m_smbConf); !whyNot.isEmpty())
        return {Outcome::Unreachable, whyNot};
    SambaNtStatus status{};
    QString words;
    {
        const CallCache cache;
        char* error = nullptr;
        char* message = nullptr;
        status = local_password_change(user.constData(), kLocalAmRoot | flags,
                                       (flags & kLocalSetPassword) ? secret.get() : nullptr, &error,
                                       &message);
        words = QString::fromUtf8(error).trimmed();
        std::free(error);
        std::free(message);
    }
    if (flags & kLocalDeleteUser)
        global_messaging_context_free();
    if (!g_opened->identity)
        g_opened->identity = identityOf(g_opened->file);
    if (status.v == kSambaNtStatusOk)
        return {Outcome::Done, {}};
    if (status.v == kSambaNtStatusNoSuchUser)
        return {Outcome::NoSuchAccount, words};
    return {Outcome::Refused,
            words.isEmpty() ? QStringLiteral("NT status 0x%1").arg(status.v, 8, 16, QChar(u'0'))
                            : words};
}

SambaPassdb::Result SambaPassdb::add(const QString& name, QStringView password, bool locked) const {
    return change(name, kLocalAddUser | kLocalSetPassword | (locked ? kLocalDisableUser : 0),
                  password);
}

SambaPassdb::Result SambaPassdb::setPassword(const QString& name, QStringView password) const {
    return change(name, kLocalSetPassword, password);
}

SambaPassdb::Result SambaPassdb::remove(const QString& name) const {
    return change(name, kLocalDeleteUser, {});
}

} // namespace orvane::host
