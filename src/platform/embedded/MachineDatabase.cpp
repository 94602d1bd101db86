#include "platform/embedded/MachineDatabase.h"

#include "platform/NETUSER.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace orvane::embedded {

namespace {

constexpr int kSchemaVersion = 1;

constexpr char kSchema[] = R"sql(
CREATE TABLE machine (
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
);
CREATE TABLE policy (
    name  TEXT PRIMARY KEY,
    value INTEGER NOT NULL
);
CREATE TABLE accounts (
    rid           INTEGER PRIMARY KEY AUTOINCREMENT,
    name          TEXT NOT NULL,
    name_key      TEXT NOT NULL UNIQUE,
    password_hash TEXT NOT NULL,
    password_set  INTEGER NOT NULL,
    priv          INTEGER NOT NULL,
    home_dir      TEXT NOT NULL DEFAULT '',
    comment       TEXT NOT NULL DEFAULT '',
    flags         INTEGER NOT NULL,
    script_path   TEXT NOT NULL DEFAULT ''
);
CREATE TABLE local_groups (
    rid      INTEGER PRIMARY KEY,
    name     TEXT NOT NULL,
    name_key TEXT NOT NULL UNIQUE,
    comment  TEXT NOT NULL DEFAULT ''
);
CREATE TABLE memberships (
    group_rid   INTEGER NOT NULL REFERENCES local_groups(rid) ON DELETE CASCADE,
    account_rid INTEGER NOT NULL REFERENCES accounts(rid) ON DELETE CASCADE,
    PRIMARY KEY (group_rid, account_rid)
) WITHOUT ROWID;
CREATE INDEX memberships_by_account ON memberships(account_rid, group_rid);
CREATE TABLE shares (
    id           INTEGER PRIMARY KEY,
    name         TEXT NOT NULL,
    name_key     TEXT NOT NULL UNIQUE,
    type         INTEGER NOT NULL,
    remark       TEXT NOT NULL DEFAULT '',
    permissions  INTEGER NOT NULL,
    max_uses     INTEGER NOT NULL,
    current_uses INTEGER NOT NULL,
    path         TEXT NOT NULL
);
CREATE TABLE registry_keys (
    path TEXT PRIMARY KEY COLLATE NOCASE
);
CREATE TABLE registry_values (
    key  TEXT NOT NULL COLLATE NOCASE,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY (key, name)
);
)sql";

struct BuiltinGroup {
    int rid;
    const char16_t* name;
    const char16_t* comment;
};

// The built-in local groups of a Windows server, in the order of their RIDs.
constexpr BuiltinGroup kBuiltinGroups[] = {
    {544, u"Administrators",
     u"Administrators have complete and unrestricted access to the computer/domain"},
    {545, u"Users",
     u"Users are prevented from making accidental or intentional system-wide changes and can "
     u"run most applications"},
    {546, u"Guests",
     u"Guests have the same access as members of the Users group by default, except for the "
     u"Guest account which is further restricted"},
    {547, u"Power Users",
     u"Power Users are included for backwards compatibility and possess limited administrative "
     u"powers"},
    {551, u"Backup Operators",
     u"Backup Operators can override security restrictions for the sole purpose of backing up "
     u"or restoring files"},
    {552, u"Replicator", u"Supports file replication in a domain"},
    {555, u"Remote Desktop Users",
     u"Members in this group are granted the right to logon remotely"},
    {556, u"Network Configuration Operators",
     u"Members in this group can have some administrative privileges to manage configuration "
     u"of networking features"},
    {558, u"Performance Monitor Users",
     u"Members of this group can access performance counter data locally and remotely"},
    {559, u"Performance Log Users",
     u"Members of this group may schedule logging of performance counters, enable trace "
     u"providers, and collect event traces both locally and via remote access to this computer"},
    {562, u"Distributed COM Users",
     u"Members are allowed to launch, activate and use Distributed COM objects on this machine."},
    {568, u"IIS_IUSRS", u"Built-in group used by Internet Information Services."},
    {569, u"Cryptographic Operators",
     u"Members are authorized to perform cryptographic operations."},
    {573, u"Event Log Readers", u"Members of this group can read event logs from local machine"},
    {574, u"Certificate Service DCOM Access",
     u"Members of this group are allowed to connect to Certification Authorities in the "
     u"enterprise"},
    {578, u"Hyper-V Administrators",
     u"Members of this group have complete and unrestricted access to all features of Hyper-V."},
    {579, u"Access Control Assistance Operators",
     u"Members of this group can remotely query authorization attributes and permissions for "
     u"resources on this computer."},
    {580, u"Remote Management Users",
     u"Members of this group can access WMI resources over management protocols (such as "
     u"WS-Management via the Windows Remote Management service). This applies only to WMI "
     u"namespaces that grant access to the user."},
};

[[noreturn]] void failErrno(const QString& what, int err) {
    throw sqlite::Error(
        SQLITE_CANTOPEN,
        QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(err))).toStdString());
}

QString thisMachineName() {
    QString name = QSysInfo::machineHostName().section(u'.', 0, 0).toUpper();
    if (name.isEmpty())
        name = QStringLiteral("ORVANE");
    return name.left(15);
}

void addAccount(sqlite::Database& db, int rid, const QString& name, DWORD priv, DWORD flags,
                const QString& comment, int groupRid) {
    sqlite::Statement account(db, "INSERT INTO accounts (rid, name, name_key, password_hash, "
                                  "password_set, priv, comment, flags) "
                                  "VALUES (?, ?, ?, '', ?, ?, ?, ?)");
    account.bind(1, std::int64_t(rid))
        .bind(2, name)
        .bind(3, nameKey(name))
        .bind(4, QDateTime::currentSecsSinceEpoch())
        .bind(5, std::int64_t(priv))
        .bind(6, comment)
        .bind(7, std::int64_t(flags))
        .run();
    sqlite::Statement member(db, "INSERT INTO memberships (group_rid, account_rid) VALUES (?, ?)");
    member.bind(1, std::int64_t(groupRid)).bind(2, std::int64_t(rid)).run();
}

void seed(sqlite::Database& db) {
    db.exec(kSchema);
    sqlite::Statement machine(db, "INSERT INTO machine (key, value) VALUES (?, ?)");
    machine.bind(1, QStringLiteral("name")).bind(2, thisMachineName()).run();
    db.exec("INSERT INTO policy (name, value) VALUES ('password_complexity', 1)");

    sqlite::Statement group(db, "INSERT INTO local_groups (rid, name, name_key, comment) "
                                "VALUES (?, ?, ?, ?)");
    for (const BuiltinGroup& g : kBuiltinGroups) {
        const QString name = QString::fromUtf16(g.name);
        group.reset()
            .bind(1, std::int64_t(g.rid))
            .bind(2, name)
            .bind(3, nameKey(name))
            .bind(4, QString::fromUtf16(g.comment))
            .run();
    }
    addAccount(db, 500, QStringLiteral("Administrator"), USER_PRIV_ADMIN,
               UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD,
               QStringLiteral("Built-in account for administering the computer/domain"), 544);
    addAccount(db, 501, QStringLiteral("Guest"), USER_PRIV_GUEST,
               UF_SCRIPT | UF_ACCOUNTDISABLE | UF_PASSWD_NOTREQD | UF_NORMAL_ACCOUNT |
                   UF_DONT_EXPIRE_PASSWD,
               QStringLiteral("Built-in account for guest access to the computer/domain"), 546);
    // New accounts get RIDs from 1000 on and a RID is never used twice, as on Windows.
    db.exec("UPDATE sqlite_sequence SET seq = 999 WHERE name = 'accounts'");
    db.exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
}

} // namespace

QString nameKey(const QString& name) {
    return name.toCaseFolded();
}

namespace {

// A folder by its identity, so that two spellings of it (a link, a relative
// path) still share one connection.
struct FolderId {
    dev_t device;
    ino_t inode;
    auto operator<=>(const FolderId&) const = default;
};

// Recursive: a connection given up inside open() closes under the same lock.
std::recursive_mutex openDatabasesMutex;
std::map<FolderId, std::weak_ptr<MachineDatabase>>& openDatabases() {
    static std::map<FolderId, std::weak_ptr<MachineDatabase>> databases;
    return databases;
}

FolderId makeMachineFolder(const QString& folder) {
    const QByteArray dir = QFile::encodeName(folder);
    // The machine's own folder is its owner's alone; the folders above it are
    // made as any other.
    if (::access(dir.constData(), F_OK) != 0) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (!QDir().mkpath(parent))
            failErrno(QStringLiteral("cannot create the folder %1").arg(parent), errno);
        if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
            failErrno(QStringLiteral("cannot create the machine folder %1").arg(folder), errno);
    }
    struct stat st;
    if (::stat(dir.constData(), &st) != 0)
        failErrno(QStringLiteral("cannot read the machine folder %1").arg(folder), errno);
    if (!S_ISDIR(st.st_mode))
        failErrno(QStringLiteral("the machine folder %1").arg(folder), ENOTDIR);
    return {st.st_dev, st.st_ino};
}

// Creates the file so that it, and the -wal and -shm files SQLite derives
// from it, are readable by the owner only. Only ever called while this process
// has no connection to it: closing a descriptor of the file would drop that
// connection's locks.
void createDatabaseFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) == 0)
        return;
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) // another process made it meanwhile
            return;
        failErrno(QStringLiteral("cannot open %1").arg(path), errno);
    }
    ::close(fd);
}

std::unique_ptr<sqlite::Database> openConnection(const QString& path) {
    auto db = std::make_unique<sqlite::Database>(path, false);
    // Switching a new file to WAL needs it alone: while another process seeds
    // it, SQLite answers busy at once, without waiting (the wait could
    // deadlock). Asked again until the seeding is done; later opens find WAL.
    for (int tries = 1;; ++tries) {
        try {
            db->exec("PRAGMA journal_mode = WAL");
            break;
        } catch (const sqlite::Error& error) {
            if ((error.code() & 0xff) != SQLITE_BUSY || tries == 1000)
                throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    db->exec("PRAGMA synchronous = NORMAL");
    db->exec("PRAGMA foreign_keys = ON");

    sqlite::Transaction transaction(*db);
    sqlite::Statement version(*db, "PRAGMA user_version");
    version.step();
    const auto current = version.integer(0);
    version.reset();
    if (current == 0)
        seed(*db);
    else if (current > kSchemaVersion)
        throw sqlite::Error(
            SQLITE_CANTOPEN,
            QStringLiteral("%1 was written by a newer Orvane").arg(path).toStdString());
    transaction.commit();
    return db;
}

} // namespace

std::shared_ptr<MachineDatabase> MachineDatabase::open(const QString& folder) {
    const std::lock_guard lock(openDatabasesMutex);
    const FolderId id = makeMachineFolder(folder);
    auto& databases = openDatabases();
    if (const auto found = databases.find(id); found != databases.end()) {
        if (auto open = found->second.lock())
            return open;
    }
    const QString path = folder + u'/' + QLatin1String(kDatabaseFile);
    createDatabaseFile(path);
    std::shared_ptr<MachineDatabase> opened(new MachineDatabase(path, openConnection(path)));
    databases[id] = opened;
    return opened;
}

MachineDatabase::MachineDatabase(QString path, std::unique_ptr<sqlite::Database> db)
    : m_path(std::move(path)), m_db(std::move(db)) {}

MachineDatabase::~MachineDatabase() {
    // Closed under the lock, so that a new connection to the folder is never
    // opened while this one still holds the file.
    const std::lock_guard lock(openDatabasesMutex);
    m_db.reset();
    auto& databases = openDatabases();
    for (auto it = databases.begin(); it != databases.end();) {
        if (it->second.expired())
            it = databases.erase(it);
        else
            ++it;
    }
}

} // namespace orvane::embedded
