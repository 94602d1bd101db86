#include "platform/embedded/EmbeddedNetApi.h"

#include "platform/embedded/AccountRules.h"
#include "platform/embedded/MachineDatabase.h"
#include "platform/embedded/PasswordHash.h"
#include "platform/embedded/Sqlite.h"
#include "platform/netapi/ResultBuffer.h"
#include "platform/netapi/WideText.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <cstdlib>
#include <new>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <vector>

namespace orvane::embedded {

namespace {

// Codes and parameter numbers of the platform that the program itself never tests for.
constexpr NET_API_STATUS kErrorDiskFull = 112;
constexpr NET_API_STATUS kErrorInvalidMember = 1388;
constexpr DWORD kUserFlagsParmnum = 8;
constexpr DWORD kShareTypeParmnum = 3;
constexpr DWORD kShareTypeMask = 0xFF;

constexpr std::int64_t kAdministratorRid = 500;
constexpr std::int64_t kGuestRid = 501;

// Whatever the preferred length, one call hands back at least this many entries
// (when there are that many), so that a caller asking for 0 bytes still moves on.
constexpr std::size_t kMinBatch = 64;

NET_API_STATUS statusOf(const sqlite::Error& error) {
    switch (error.code() & 0xFF) {
    case SQLITE_FULL:
        return kErrorDiskFull;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    default:
        return NERR_InternalError;
    }
}

// The service reports failures as results; nothing may escape to the caller.
template <class Call> NET_API_STATUS guarded(Call&& call) noexcept {
    try {
        return call();
    } catch (const sqlite::Error& error) {
        return statusOf(error);
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return NERR_InternalError;
    }
}

NET_API_STATUS invalidParameter(LPDWORD parm_err, DWORD parameter) {
    if (parm_err)
        *parm_err = parameter;
    return ERROR_INVALID_PARAMETER;
}

QStringView view(LPCWSTR text) {
    return text ? QStringView(text) : QStringView();
}

// A cached statement for one use: fresh on entry, and reset on exit so that it
// keeps no read snapshot open between calls.
class Use {
public:
    explicit Use(sqlite::Statement& statement) : m_statement(statement.reset()) {}
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    ~Use() { m_statement.reset(); }
    sqlite::Statement* operator->() const { return &m_statement; }

private:
    sqlite::Statement& m_statement;
};

// The reads of one call see one state of the database, without taking the
// write lock that sqlite::Transaction takes.
class ReadTransaction {
public:
    ReadTransaction(sqlite::Database& db, sqlite::Statement& begin, sqlite::Statement& commit)
        : m_db(db), m_commit(commit) {
        Use(begin)->run();
    }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;
    ~ReadTransaction() {
        try {
            Use(m_commit)->run();
        } catch (const sqlite::Error&) {
        }
        if (!sqlite3_get_autocommit(m_db.handle())) {
            try {
                m_db.exec("ROLLBACK");
            } catch (const sqlite::Error&) {
            }
        }
    }

private:
    sqlite::Database& m_db;
    sqlite::Statement& m_commit;
};

// How many entries one call hands back: all of them for MAX_PREFERRED_LENGTH,
// else as many as fit the preferred length, but at least kMinBatch.
class Batch {
public:
    explicit Batch(DWORD prefmaxlen) : m_limit(prefmaxlen) {}

    // Whether an entry of this many bytes still goes into this call's buffer.
    bool take(std::size_t bytes) {
        if (m_limit != MAX_PREFERRED_LENGTH && m_count >= kMinBatch && m_bytes + bytes > m_limit) {
            m_more = true;
            return false;
        }
        ++m_count;
        m_bytes += bytes;
        return true;
    }
    // Whether entries were left for a later call.
    bool more() const { return m_more; }

private:
    DWORD m_limit;
    std::size_t m_count = 0;
    std::size_t m_bytes = 0;
    bool m_more = false;
};

std::size_t entryBytes(std::size_t recordSize, std::size_t textUnits) {
    return recordSize + textUnits * sizeof(WCHAR);
}

bool isExistingFolder(const QString& path) {
    // The service resolves paths on its own machine: a relative one names nothing.
    if (!path.startsWith(u'/'))
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

void clearOutputs(LPBYTE* bufptr, LPDWORD entriesread, LPDWORD totalentries) {
    if (bufptr)
        *bufptr = nullptr;
    if (entriesread)
        *entriesread = 0;
    if (totalentries)
        *totalentries = 0;
}

QString readMachineName(sqlite::Database& db) {
    sqlite::Statement query(db, "SELECT value FROM machine WHERE key = 'name'");
    if (!query.step() || query.text(0).isEmpty())
        throw sqlite::Error(SQLITE_CORRUPT, "the machine has no name");
    return query.text(0);
}

// The account a LOCALGROUP_MEMBERS_INFO_3 names: "name" or "MACHINE\\name".
// A null result names an account of some other domain.
QString localMemberName(QStringView domainAndName, const QString& machineName) {
    const qsizetype separator = domainAndName.indexOf(u'\\');
    if (separator < 0)
        return domainAndName.toString();
    if (domainAndName.left(separator).compare(machineName, Qt::CaseInsensitive) != 0)
        return QString();
    return domainAndName.mid(separator + 1).toString();
}

// What the membership calls reject before they look at the machine.
NET_API_STATUS checkMembers(LPCWSTR groupname, DWORD level, LPBYTE buf, DWORD totalentries) {
    if (level != 3)
        return ERROR_INVALID_LEVEL;
    if (!groupname || (totalentries && !buf))
        return ERROR_INVALID_PARAMETER;
    const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
    for (DWORD i = 0; i < totalentries; ++i) {
        if (!members[i].lgrmi3_domainandname)
            return ERROR_INVALID_PARAMETER;
    }
    return NERR_Success;
}

struct UserRow {
    std::int64_t rid;
    QString name;
    DWORD passwordAge;
    DWORD priv;
    QString homeDir;
    QString comment;
    DWORD flags;
    QString scriptPath;
};

struct ShareRow {
    std::int64_t id;
    QString name;
    DWORD type;
    QString remark;
    DWORD permissions;
    DWORD maxUses;
    DWORD currentUses;
    QString path;
};

// The members of SHARE_INFO_2 and SHARE_INFO_502 that a new share keeps.
struct NewShare {
    LPCWSTR netname;
    DWORD type;
    LPCWSTR remark;
    DWORD permissions;
    DWORD max_uses;
    LPCWSTR path;
};

struct GroupRow {
    std::int64_t rid;
    QString name;
};

struct Account {
    std::int64_t rid;
    QString name;
    DWORD flags;
};

} // namespace

// The connection and its statements, prepared once: the program makes several
// calls per account when it lists tens of thousands of them.
struct EmbeddedNetApi::Store {
    explicit Store(sqlite::Database& database)
        : db(database), machineName(readMachineName(db)),
          serverName(QStringLiteral("\\\\") + machineName) {}

    std::optional<Account> account(const QString& key) {
        Use query(accountByKey);
        query->bind(1, key);
        if (!query->step())
            return std::nullopt;
        return Account{query->integer(0), query->text(1), DWORD(query->integer(2))};
    }

    std::optional<std::int64_t> group(const QString& key) {
        Use query(groupByKey);
        query->bind(1, key);
        if (!query->step())
            return std::nullopt;
        return query->integer(0);
    }

    bool complexityRequired() {
        Use query(complexity);
        // A machine without the policy row keeps the server default: on.
        return !query->step() || query->integer(0) != 0;
    }

    // Counting a large table costs far more than a batch of it, and the program
    // asks for batches of 64: count again only when the database has changed.
    DWORD countUsers(std::int64_t typeMask) {
        Use version(dataVersion);
        version->step();
        const std::int64_t dataVersionNow = version->integer(0);
        const std::int64_t changesNow = sqlite3_total_changes64(db.handle());
        if (userCount.valid && userCount.dataVersion == dataVersionNow &&
            userCount.changes == changesNow && userCount.typeMask == typeMask)
            return userCount.count;
        Use query(typeMask ? countUsersOfType : countAllUsers);
        if (typeMask)
            query->bind(1, typeMask);
        query->step();
        userCount = {true, dataVersionNow, changesNow, typeMask, DWORD(query->integer(0))};
        return userCount.count;
    }

    // All entries of one call, or none. The caller holds the lock.
    NET_API_STATUS changeMembers(LPCWSTR groupname, LPBYTE buf, DWORD count, bool add) {
        const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
        sqlite::Transaction transaction(db);
        const auto groupRid = group(nameKey(fromWide(groupname)));
        if (!groupRid)
            return NERR_GroupNotFound;
        for (DWORD i = 0; i < count; ++i) {
            const QString name =
                localMemberName(view(members[i].lgrmi3_domainandname), machineName);
            const QString key = nameKey(name);
            const auto member = name.isEmpty() ? std::nullopt : account(key);
            if (!member) {
                // A local group cannot hold a local group.
                if (!name.isEmpty() && group(key))
                    return add ? kErrorInvalidMember : ERROR_MEMBER_NOT_IN_ALIAS;
                return ERROR_NO_SUCH_MEMBER;
            }
            Use change(add ? addMember : removeMember);
            change->bind(1, *groupRid).bind(2, member->rid).run();
            if (db.changes() == 0)
                return add ? ERROR_MEMBER_IN_ALIAS : ERROR_MEMBER_NOT_IN_ALIAS;
        }
        transaction.commit();
        return NERR_Success;
    }

    sqlite::Database& db;
    const QString machineName;
    const QString serverName;

    struct UserCount {
        bool valid = false;
        std::int64_t dataVersion = 0;
        std::int64_t changes = 0;
        std::int64_t typeMask = 0;
        DWORD count = 0;
    } userCount;

    sqlite::Statement begin{db, "BEGIN"};
    sqlite::Statement commit{db, "COMMIT"};
    sqlite::Statement dataVersion{db, "PRAGMA data_version"};
    sqlite::Statement complexity{db, "SELECT value FROM policy WHERE name = 'password_complexity'"};
    sqlite::Statement accountByKey{db, "SELECT rid, name, flags FROM accounts WHERE name_key = ?1"};
    sqlite::Statement groupByKey{db, "SELECT rid FROM local_groups WHERE name_key = ?1"};
    sqlite::Statement insertAccount{
        db, "INSERT INTO accounts (name, name_key, password_hash, password_set, priv, home_dir, "
            "comment, flags, script_path) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)"};
    sqlite::Statement deleteAccount{db, "DELETE FROM accounts WHERE rid = ?1"};
    // A null argument leaves its column as it is.
    sqlite::Statement updateAccount{
        db, "UPDATE accounts SET password_hash = coalesce(?2, password_hash), "
            "password_set = coalesce(?3, password_set), home_dir = coalesce(?4, home_dir), "
            "comment = coalesce(?5, comment), flags = coalesce(?6, flags), "
            "script_path = coalesce(?7, script_path) WHERE rid = ?1"};
    sqlite::Statement countAllUsers{db, "SELECT count(*) FROM accounts"};
    sqlite::Statement countUsersOfType{db, "SELECT count(*) FROM accounts WHERE flags & ?1"};
    sqlite::Statement userPage{
        db, "SELECT rid, name, password_set, priv, home_dir, comment, flags, script_path "
            "FROM accounts WHERE rid > ?1 AND (?2 = 0 OR flags & ?2) ORDER BY rid"};
    sqlite::Statement groupsOfUser{db, "SELECT g.name FROM accounts a "
                                       "LEFT JOIN memberships m ON m.account_rid = a.rid "
                                       "LEFT JOIN local_groups g ON g.rid = m.group_rid "
                                       "WHERE a.name_key = ?1 ORDER BY m.group_rid"};
    sqlite::Statement countGroups{db, "SELECT count(*) FROM local_groups"};
    sqlite::Statement groupPage{db,
                                "SELECT rid, name FROM local_groups WHERE rid > ?1 ORDER BY rid"};
    sqlite::Statement addMember{
        db, "INSERT OR IGNORE INTO memberships (group_rid, account_rid) VALUES (?1, ?2)"};
    sqlite::Statement removeMember{
        db, "DELETE FROM memberships WHERE group_rid = ?1 AND account_rid = ?2"};
    sqlite::Statement shareByKey{db, "SELECT id FROM shares WHERE name_key = ?1"};
    sqlite::Statement insertShare{
        db, "INSERT INTO shares (name, name_key, type, remark, permissions, max_uses, "
            "current_uses, path) VALUES (?1, ?2, ?3, ?4, ?5, ?6, 0, ?7)"};
    sqlite::Statement deleteShare{db, "DELETE FROM shares WHERE name_key = ?1"};
    sqlite::Statement countShares{db, "SELECT count(*) FROM shares"};
    sqlite::Statement sharePage{
        db, "SELECT id, name, type, remark, permissions, max_uses, current_uses, path "
            "FROM shares WHERE id > ?1 ORDER BY id"};
};

EmbeddedNetApi::EmbeddedNetApi(const QString& folder) : m_machine(MachineDatabase::open(folder)) {
    std::lock_guard lock(m_machine->mutex());
    m_store = std::make_unique<Store>(m_machine->db());
}

EmbeddedNetApi::~EmbeddedNetApi() {
    // The statements are finalised on the shared connection.
    std::lock_guard lock(m_machine->mutex());
    m_store.reset();
}

QString EmbeddedNetApi::machineName() const {
    return m_store->machineName;
}

namespace {

// Every call: a null or empty server name, or "\\" and this machine's name in
// any letter case, is this machine; there is no other machine to reach.
bool isThisMachine(LPCWSTR servername, const QString& serverName) {
    if (!servername || !servername[0])
        return true;
    return QStringView(servername).compare(serverName, Qt::CaseInsensitive) == 0;
}

} // namespace

NET_API_STATUS EmbeddedNetApi::NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter,
                                           LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                           LPDWORD totalentries, PDWORD resume_handle) {
    return guarded([&]() -> NET_API_STATUS {
        clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 0 && level != 1)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        // FILTER_* bit n stands for the account type UF_* bit n + 8.
        std::int64_t typeMask = 0;
        if (filter != 0) {
            typeMask = (std::int64_t(filter) << 8) & UF_ACCOUNT_TYPE_MASK;
            if (!typeMask) {
                if (resume_handle)
                    *resume_handle = 0;
                return NERR_Success;
            }
        }
        const std::int64_t after = resume_handle ? *resume_handle : 0;
        const std::size_t recordSize = level == 0 ? sizeof(USER_INFO_0) : sizeof(USER_INFO_1);
        const std::int64_t now = QDateTime::currentSecsSinceEpoch();

        std::vector<UserRow> rows;
        std::size_t units = 0;
        Batch batch(prefmaxlen);
        {
            std::lock_guard lock(m_machine->mutex());
            Store& store = *m_store;
            ReadTransaction read(store.db, store.begin, store.commit);
            *totalentries = store.countUsers(typeMask);
            Use page(store.userPage);
            page->bind(1, after).bind(2, typeMask);
            while (page->step()) {
                UserRow row{page->integer(0),
                            page->text(1),
                            DWORD(std::max<std::int64_t>(0, now - page->integer(2))),
                            DWORD(page->integer(3)),
                            page->text(4),
                            page->text(5),
                            DWORD(page->integer(6)),
                            page->text(7)};
                std::size_t rowUnits = ResultBuffer::units(row.name);
                if (level == 1)
                    rowUnits += ResultBuffer::units(row.homeDir) +
                                ResultBuffer::units(row.comment) +
                                ResultBuffer::units(row.scriptPath);
                if (!batch.take(entryBytes(recordSize, rowUnits)))
                    break;
                units += rowUnits;
                rows.push_back(std::move(row));
            }
        }

        ResultBuffer out(rows.size(), recordSize, units);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const UserRow& row = rows[i];
            if (level == 0) {
                out.records<USER_INFO_0>()[i].usri0_name = out.copy(row.name);
                continue;
            }
            USER_INFO_1& record = out.records<USER_INFO_1>()[i];
            record.usri1_name = out.copy(row.name);
            record.usri1_password = nullptr;
            record.usri1_password_age = row.passwordAge;
            record.usri1_priv = row.priv;
            record.usri1_home_dir = out.copy(row.homeDir);
            record.usri1_comment = out.copy(row.comment);
            record.usri1_flags = row.flags;
            record.usri1_script_path = out.copy(row.scriptPath);
        }
        *bufptr = out.release();
        *entriesread = DWORD(rows.size());
        if (resume_handle)
            *resume_handle = batch.more() ? DWORD(rows.back().rid) : 0;
        return batch.more() ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                                          LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 1)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        if (!info.usri1_name)
            return invalidParameter(parm_err, USER_NAME_PARMNUM);
        if (info.usri1_priv != USER_PRIV_USER)
            return invalidParameter(parm_err, USER_PRIV_PARMNUM);
        const QString name = fromWide(info.usri1_name);
        if (!isValidAccountName(name))
            return NERR_BadUsername;
        DWORD flags = info.usri1_flags | UF_SCRIPT;
        const DWORD type = flags & UF_ACCOUNT_TYPE_MASK;
        if (type == 0)
            flags |= UF_NORMAL_ACCOUNT;
        else if (type & (type - 1))
            return invalidParameter(parm_err, kUserFlagsParmnum);

        // Hashing is the slow part: do it before taking the lock, so that callers
        // on several threads hash at once and readers are not held up.
        const QStringView password = view(info.usri1_password);
        const QByteArray hash = hashPassword(password);

        std::lock_guard lock(m_machine->mutex());
        Store& store = *m_store;
        sqlite::Transaction transaction(store.db);
        const QString key = nameKey(name);
        if (store.account(key))
            return NERR_UserExists;
        if (store.group(key))
            return NERR_GroupExists;
        if (store.complexityRequired() && !meetsPasswordComplexity(password, name))
            return NERR_PasswordTooShort;
        {
            Use insert(store.insertAccount);
            insert->bind(1, name)
                .bind(2, key)
                .bind(3, QString::fromLatin1(hash))
                .bind(4, QDateTime::currentSecsSinceEpoch())
                .bind(5, std::int64_t(USER_PRIV_USER))
                .bind(6, fromWide(info.usri1_home_dir))
                .bind(7, fromWide(info.usri1_comment))
                .bind(8, std::int64_t(flags))
                .bind(9, fromWide(info.usri1_script_path))
                .run();
        }
        transaction.commit();
        return NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserDel(LPCWSTR servername, LPCWSTR username) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (!username)
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_machine->mutex());
        Store& store = *m_store;
        sqlite::Transaction transaction(store.db);
        const auto account = store.account(nameKey(fromWide(username)));
        if (!account)
            return NERR_UserNotFound;
        if (account->rid == kAdministratorRid || account->rid == kGuestRid)
            return ERROR_SPECIAL_ACCOUNT;
        // Its memberships go with it (ON DELETE CASCADE).
        Use(store.deleteAccount)->bind(1, account->rid).run();
        transaction.commit();
        return NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                              LPBYTE buf, LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 1 && level != 1006)
            return ERROR_INVALID_LEVEL;
        if (!username || !buf)
            return ERROR_INVALID_PARAMETER;
        const QString key = nameKey(fromWide(username));

        if (level == 1006) {
            const auto& info = *reinterpret_cast<const USER_INFO_1006*>(buf);
            std::lock_guard lock(m_machine->mutex());
            Store& store = *m_store;
            sqlite::Transaction transaction(store.db);
            const auto account = store.account(key);
            if (!account)
                return NERR_UserNotFound;
            if (info.usri1006_home_dir) {
                Use update(store.updateAccount);
                update->bind(1, account->rid).bind(4, fromWide(info.usri1006_home_dir)).run();
            }
            transaction.commit();
            return NERR_Success;
        }

        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        // The level can name a privilege, but changing it takes group membership.
        if (info.usri1_priv > USER_PRIV_ADMIN)
            return invalidParameter(parm_err, USER_PRIV_PARMNUM);
        const QStringView password = view(info.usri1_password);
        QByteArray hash;
        if (info.usri1_password)
            hash = hashPassword(password);

        std::lock_guard lock(m_machine->mutex());
        Store& store = *m_store;
        sqlite::Transaction transaction(store.db);
        const auto account = store.account(key);
        if (!account)
            return NERR_UserNotFound;
        if (info.usri1_password && store.complexityRequired() &&
            !meetsPasswordComplexity(password, account->name))
            return NERR_PasswordTooShort;
        // The account's flags stay as they are: the program sends this level to
        // set a home folder, with flags of its own that would otherwise enable a
        // disabled account. The samba backend keeps them the same way.
        {
            Use update(store.updateAccount);
            update->bind(1, account->rid);
            if (info.usri1_password)
                update->bind(2, QString::fromLatin1(hash))
                    .bind(3, QDateTime::currentSecsSinceEpoch());
            if (info.usri1_home_dir)
                update->bind(4, fromWide(info.usri1_home_dir));
            if (info.usri1_comment)
                update->bind(5, fromWide(info.usri1_comment));
            if (info.usri1_script_path)
                update->bind(7, fromWide(info.usri1_script_path));
            update->run();
        }
        transaction.commit();
        return NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username,
                                                     DWORD level, DWORD /*flags*/, LPBYTE* bufptr,
                                                     DWORD prefmaxlen, LPDWORD entriesread,
                                                     LPDWORD totalentries) {
    // Local groups hold accounts only, so LG_INCLUDE_INDIRECT finds nothing more.
    return guarded([&]() -> NET_API_STATUS {
        clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if (!username || !bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        const QString key = nameKey(fromWide(username));

        std::vector<QString> names;
        std::size_t units = 0;
        Batch batch(prefmaxlen);
        DWORD total = 0;
        {
            std::lock_guard lock(m_machine->mutex());
            // One statement: it reads one state of the database on its own.
            Use query(m_store->groupsOfUser);
            query->bind(1, key);
            bool found = false;
            while (query->step()) {
                found = true;
                if (query->isNull(0))
                    continue; // the account is in no group
                ++total;
                QString name = query->text(0);
                if (batch.more() || !batch.take(entryBytes(sizeof(LOCALGROUP_USERS_INFO_0),
                                                           ResultBuffer::units(name))))
                    continue;
                units += ResultBuffer::units(name);
                names.push_back(std::move(name));
            }
            if (!found)
                return NERR_UserNotFound;
        }

        ResultBuffer out(names.size(), sizeof(LOCALGROUP_USERS_INFO_0), units);
        for (std::size_t i = 0; i < names.size(); ++i)
            out.records<LOCALGROUP_USERS_INFO_0>()[i].lgrui0_name = out.copy(names[i]);
        *bufptr = out.release();
        *entriesread = DWORD(names.size());
        *totalentries = total;
        return batch.more() ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                                 DWORD prefmaxlen, LPDWORD entriesread,
                                                 LPDWORD totalentries, PDWORD_PTR resumehandle) {
    return guarded([&]() -> NET_API_STATUS {
        clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        const std::int64_t after = resumehandle ? std::int64_t(*resumehandle) : 0;

        std::vector<GroupRow> rows;
        std::size_t units = 0;
        Batch batch(prefmaxlen);
        {
            std::lock_guard lock(m_machine->mutex());
            Store& store = *m_store;
            ReadTransaction read(store.db, store.begin, store.commit);
            {
                Use count(store.countGroups);
                count->step();
                *totalentries = DWORD(count->integer(0));
            }
            Use page(store.groupPage);
            page->bind(1, after);
            while (page->step()) {
                GroupRow row{page->integer(0), page->text(1)};
                const std::size_t rowUnits = ResultBuffer::units(row.name);
                if (!batch.take(entryBytes(sizeof(LOCALGROUP_INFO_0), rowUnits)))
                    break;
                units += rowUnits;
                rows.push_back(std::move(row));
            }
        }

        ResultBuffer out(rows.size(), sizeof(LOCALGROUP_INFO_0), units);
        for (std::size_t i = 0; i < rows.size(); ++i)
            out.records<LOCALGROUP_INFO_0>()[i].lgrpi0_name = out.copy(rows[i].name);
        *bufptr = out.release();
        *entriesread = DWORD(rows.size());
        if (resumehandle)
            *resumehandle = batch.more() ? DWORD_PTR(rows.back().rid) : 0;
        return batch.more() ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname,
                                                       DWORD level, LPBYTE buf,
                                                       DWORD totalentries) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (const NET_API_STATUS bad = checkMembers(groupname, level, buf, totalentries))
            return bad;
        std::lock_guard lock(m_machine->mutex());
        return m_store->changeMembers(groupname, buf, totalentries, true);
    });
}

NET_API_STATUS EmbeddedNetApi::NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname,
                                                       DWORD level, LPBYTE buf,
                                                       DWORD totalentries) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (const NET_API_STATUS bad = checkMembers(groupname, level, buf, totalentries))
            return bad;
        std::lock_guard lock(m_machine->mutex());
        return m_store->changeMembers(groupname, buf, totalentries, false);
    });
}

NET_API_STATUS EmbeddedNetApi::NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr,
                                            DWORD prefmaxlen, LPDWORD entriesread,
                                            LPDWORD totalentries, LPDWORD resume_handle) {
    return guarded([&]() -> NET_API_STATUS {
        clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        const std::int64_t after = resume_handle ? *resume_handle : 0;
        const std::size_t recordSize = level == 2 ? sizeof(SHARE_INFO_2) : sizeof(SHARE_INFO_502);

        std::vector<ShareRow> rows;
        std::size_t units = 0;
        Batch batch(prefmaxlen);
        {
            std::lock_guard lock(m_machine->mutex());
            Store& store = *m_store;
            ReadTransaction read(store.db, store.begin, store.commit);
            {
                Use count(store.countShares);
                count->step();
                *totalentries = DWORD(count->integer(0));
            }
            Use page(store.sharePage);
            page->bind(1, after);
            while (page->step()) {
                ShareRow row{page->integer(0),        page->text(1),
                             DWORD(page->integer(2)), page->text(3),
                             DWORD(page->integer(4)), DWORD(page->integer(5)),
                             DWORD(page->integer(6)), page->text(7)};
                const std::size_t rowUnits = ResultBuffer::units(row.name) +
                                             ResultBuffer::units(row.remark) +
                                             ResultBuffer::units(row.path);
                if (!batch.take(entryBytes(recordSize, rowUnits)))
                    break;
                units += rowUnits;
                rows.push_back(std::move(row));
            }
        }

        ResultBuffer out(rows.size(), recordSize, units);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const ShareRow& row = rows[i];
            // The password and the security descriptor stay null.
            if (level == 2) {
                SHARE_INFO_2& record = out.records<SHARE_INFO_2>()[i];
                record.shi2_netname = out.copy(row.name);
                record.shi2_type = row.type;
                record.shi2_remark = out.copy(row.remark);
                record.shi2_permissions = row.permissions;
                record.shi2_max_uses = row.maxUses;
                record.shi2_current_uses = row.currentUses;
                record.shi2_path = out.copy(row.path);
            } else {
                SHARE_INFO_502& record = out.records<SHARE_INFO_502>()[i];
                record.shi502_netname = out.copy(row.name);
                record.shi502_type = row.type;
                record.shi502_remark = out.copy(row.remark);
                record.shi502_permissions = row.permissions;
                record.shi502_max_uses = row.maxUses;
                record.shi502_current_uses = row.currentUses;
                record.shi502_path = out.copy(row.path);
            }
        }
        *bufptr = out.release();
        *entriesread = DWORD(rows.size());
        if (resume_handle)
            *resume_handle = batch.more() ? DWORD(rows.back().id) : 0;
        return batch.more() ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                                           LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        // The security descriptor of 502 is not kept; share passwords are
        // ignored, as on NT.
        NewShare info;
        if (level == 2) {
            const auto& given = *reinterpret_cast<const SHARE_INFO_2*>(buf);
            info = {given.shi2_netname,     given.shi2_type,     given.shi2_remark,
                    given.shi2_permissions, given.shi2_max_uses, given.shi2_path};
        } else {
            const auto& given = *reinterpret_cast<const SHARE_INFO_502*>(buf);
            info = {given.shi502_netname,     given.shi502_type,     given.shi502_remark,
                    given.shi502_permissions, given.shi502_max_uses, given.shi502_path};
        }
        if (!info.netname || !info.netname[0])
            return invalidParameter(parm_err, SHARE_NETNAME_PARMNUM);
        const QString name = fromWide(info.netname);
        if (!isValidShareName(name))
            return ERROR_INVALID_NAME;
        if ((info.type & kShareTypeMask) != STYPE_DISKTREE)
            return invalidParameter(parm_err, kShareTypeParmnum);
        if (!info.path || !info.path[0])
            return invalidParameter(parm_err, SHARE_PATH_PARMNUM);
        const QString path = fromWide(info.path);
        if (!isExistingFolder(path))
            return NERR_UnknownDevDir;

        std::lock_guard lock(m_machine->mutex());
        Store& store = *m_store;
        sqlite::Transaction transaction(store.db);
        const QString key = nameKey(name);
        {
            Use existing(store.shareByKey);
            existing->bind(1, key);
            if (existing->step())
                return NERR_DuplicateShare;
        }
        {
            Use insert(store.insertShare);
            insert->bind(1, name)
                .bind(2, key)
                .bind(3, std::int64_t(info.type))
                .bind(4, fromWide(info.remark))
                .bind(5, std::int64_t(info.permissions))
                .bind(6, std::int64_t(info.max_uses))
                .bind(7, path)
                .run();
        }
        transaction.commit();
        return NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetShareDel(LMSTR servername, LMSTR netname, DWORD /*reserved*/) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_store->serverName))
            return ERROR_BAD_NETPATH;
        if (!netname || !netname[0])
            return ERROR_INVALID_PARAMETER;
        std::lock_guard lock(m_machine->mutex());
        Store& store = *m_store;
        sqlite::Transaction transaction(store.db);
        Use(store.deleteShare)->bind(1, nameKey(fromWide(netname))).run();
        if (store.db.changes() == 0)
            return NERR_NetNameNotFound;
        transaction.commit();
        return NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetApiBufferFree(LPVOID Buffer) {
    std::free(Buffer);
    return NERR_Success;
}

} // namespace orvane::embedded
