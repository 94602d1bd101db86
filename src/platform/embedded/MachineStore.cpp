#include "platform/embedded/MachineStore.h"

#include "platform/embedded/AccountRules.h"
#include "platform/embedded/MachineDatabase.h"
#include "platform/embedded/Sqlite.h"

#include <QDateTime>
#include <algorithm>
#include <sqlite3.h>

namespace orvane::embedded {

namespace {

// Codes of the platform that the program itself never tests for.
constexpr NET_API_STATUS kErrorInvalidMember = 1388;

constexpr std::int64_t kAdministratorRid = 500;
constexpr std::int64_t kGuestRid = 501;

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

QString readMachineName(sqlite::Database& db) {
    sqlite::Statement query(db, "SELECT value FROM machine WHERE key = 'name'");
    if (!query.step() || query.text(0).isEmpty())
        throw sqlite::Error(SQLITE_CORRUPT, "the machine has no name");
    return query.text(0);
}

// The account a member entry names: "name" or "MACHINE\\name". A null result
// names an account of some other domain.
QString localMemberName(QStringView domainAndName, const QString& machineName) {
    const qsizetype separator = domainAndName.indexOf(u'\\');
    if (separator < 0)
        return domainAndName.toString();
    if (domainAndName.left(separator).compare(machineName, Qt::CaseInsensitive) != 0)
        return QString();
    return domainAndName.mid(separator + 1).toString();
}

struct Account {
    std::int64_t rid;
    QString name;
    DWORD flags;
};

} // namespace

struct MachineStore::Statements {
    explicit Statements(sqlite::Database& database) : db(database) {}

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

    DWORD count(sqlite::Statement& statement) {
        Use query(statement);
        query->step();
        return DWORD(query->integer(0));
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

    sqlite::Database& db;

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

MachineStore::MachineStore(std::shared_ptr<MachineDatabase> machine)
    : m_machine(std::move(machine)) {
    std::lock_guard lock(m_machine->mutex());
    m_machineName = readMachineName(m_machine->db());
    m_sql = std::make_unique<Statements>(m_machine->db());
}

MachineStore::~MachineStore() {
    // The statements are finalised on the shared connection.
    std::lock_guard lock(m_machine->mutex());
    m_sql.reset();
}

Page<records::User> MachineStore::users(DWORD level, std::int64_t after, std::int64_t typeMask,
                                        records::Batch& batch) {
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    Page<records::User> page;
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    ReadTransaction read(sql.db, sql.begin, sql.commit);
    page.total = sql.countUsers(typeMask);
    Use query(sql.userPage);
    query->bind(1, after).bind(2, typeMask);
    while (query->step()) {
        records::User user{query->text(1),
                           DWORD(std::max<std::int64_t>(0, now - query->integer(2))),
                           DWORD(query->integer(3)),
                           query->text(4),
                           query->text(5),
                           DWORD(query->integer(6)),
                           query->text(7)};
        if (!batch.take(records::userBytes(level, user)))
            break;
        page.last = query->integer(0);
        page.rows.push_back(std::move(user));
    }
    page.more = batch.more();
    return page;
}

NET_API_STATUS MachineStore::groupsOf(const QString& name, records::Batch& batch,
                                      Page<QString>& page) {
    std::lock_guard lock(m_machine->mutex());
    // One statement: it reads one state of the database on its own.
    Use query(m_sql->groupsOfUser);
    query->bind(1, nameKey(name));
    bool found = false;
    while (query->step()) {
        found = true;
        if (query->isNull(0))
            continue; // the account is in no group
        ++page.total;
        QString group = query->text(0);
        if (batch.more() || !batch.take(records::nameBytes(group)))
            continue;
        page.rows.push_back(std::move(group));
    }
    page.more = batch.more();
    return found ? NERR_Success : NERR_UserNotFound;
}

Page<QString> MachineStore::groups(std::int64_t after, records::Batch& batch) {
    Page<QString> page;
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    ReadTransaction read(sql.db, sql.begin, sql.commit);
    page.total = sql.count(sql.countGroups);
    Use query(sql.groupPage);
    query->bind(1, after);
    while (query->step()) {
        QString group = query->text(1);
        if (!batch.take(records::nameBytes(group)))
            break;
        page.last = query->integer(0);
        page.rows.push_back(std::move(group));
    }
    page.more = batch.more();
    return page;
}

Page<records::Share> MachineStore::shares(DWORD level, std::int64_t after, records::Batch& batch) {
    Page<records::Share> page;
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    ReadTransaction read(sql.db, sql.begin, sql.commit);
    page.total = sql.count(sql.countShares);
    Use query(sql.sharePage);
    query->bind(1, after);
    while (query->step()) {
        records::Share share{query->text(1),
                             DWORD(query->integer(2)),
                             query->text(3),
                             DWORD(query->integer(4)),
                             DWORD(query->integer(5)),
                             DWORD(query->integer(6)),
                             query->text(7)};
        if (!batch.take(records::shareBytes(level, share)))
            break;
        page.last = query->integer(0);
        page.rows.push_back(std::move(share));
    }
    page.more = batch.more();
    return page;
}

NET_API_STATUS MachineStore::addUser(const NewAccount& account, QStringView password) {
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    sqlite::Transaction transaction(sql.db);
    const QString key = nameKey(account.name);
    if (sql.account(key))
        return NERR_UserExists;
    if (sql.group(key))
        return NERR_GroupExists;
    if (sql.complexityRequired() && !meetsPasswordComplexity(password, account.name))
        return NERR_PasswordTooShort;
    {
        Use insert(sql.insertAccount);
        insert->bind(1, account.name)
            .bind(2, key)
            .bind(3, QString::fromLatin1(account.passwordHash))
            .bind(4, QDateTime::currentSecsSinceEpoch())
            .bind(5, std::int64_t(USER_PRIV_USER))
            .bind(6, account.homeDir)
            .bind(7, account.comment)
            .bind(8, std::int64_t(account.flags))
            .bind(9, account.scriptPath)
            .run();
    }
    transaction.commit();
    return NERR_Success;
}

NET_API_STATUS MachineStore::deleteUser(const QString& name) {
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    sqlite::Transaction transaction(sql.db);
    const auto account = sql.account(nameKey(name));
    if (!account)
        return NERR_UserNotFound;
    if (account->rid == kAdministratorRid || account->rid == kGuestRid)
        return ERROR_SPECIAL_ACCOUNT;
    // Its memberships go with it (ON DELETE CASCADE).
    Use(sql.deleteAccount)->bind(1, account->rid).run();
    transaction.commit();
    return NERR_Success;
}

NET_API_STATUS MachineStore::changeUser(const QString& name, const AccountChange& change,
                                        std::optional<QStringView> password) {
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    sqlite::Transaction transaction(sql.db);
    const auto account = sql.account(nameKey(name));
    if (!account)
        return NERR_UserNotFound;
    if (password && sql.complexityRequired() && !meetsPasswordComplexity(*password, account->name))
        return NERR_PasswordTooShort;
    {
        Use update(sql.updateAccount);
        update->bind(1, account->rid);
        if (change.passwordHash)
            update->bind(2, QString::fromLatin1(*change.passwordHash))
                .bind(3, QDateTime::currentSecsSinceEpoch());
        if (change.homeDir)
            update->bind(4, *change.homeDir);
        if (change.comment)
            update->bind(5, *change.comment);
        if (change.scriptPath)
            update->bind(7, *change.scriptPath);
        update->run();
    }
    transaction.commit();
    return NERR_Success;
}

NET_API_STATUS MachineStore::changeMembers(const QString& group,
                                           const std::vector<QString>& members, bool add) {
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    sqlite::Transaction transaction(sql.db);
    const auto groupRid = sql.group(nameKey(group));
    if (!groupRid)
        return NERR_GroupNotFound;
    for (const QString& domainAndName : members) {
        const QString name = localMemberName(domainAndName, m_machineName);
        const QString key = nameKey(name);
        const auto member = name.isEmpty() ? std::nullopt : sql.account(key);
        if (!member) {
            // A local group cannot hold a local group.
            if (!name.isEmpty() && sql.group(key))
                return add ? kErrorInvalidMember : ERROR_MEMBER_NOT_IN_ALIAS;
            return ERROR_NO_SUCH_MEMBER;
        }
        Use changeMember(add ? sql.addMember : sql.removeMember);
        changeMember->bind(1, *groupRid).bind(2, member->rid).run();
        if (sql.db.changes() == 0)
            return add ? ERROR_MEMBER_IN_ALIAS : ERROR_MEMBER_NOT_IN_ALIAS;
    }
    transaction.commit();
    return NERR_Success;
}

NET_API_STATUS MachineStore::addShare(const records::Share& share) {
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    sqlite::Transaction transaction(sql.db);
    const QString key = nameKey(share.name);
    {
        Use existing(sql.shareByKey);
        existing->bind(1, key);
        if (existing->step())
            return NERR_DuplicateShare;
    }
    {
        Use insert(sql.insertShare);
        insert->bind(1, share.name)
            .bind(2, key)
            .bind(3, std::int64_t(share.type))
            .bind(4, share.remark)
            .bind(5, std::int64_t(share.permissions))
            .bind(6, std::int64_t(share.maxUses))
            .bind(7, share.path)
            .run();
    }
    transaction.commit();
    return NERR_Success;
}

NET_API_STATUS MachineStore::deleteShare(const QString& name) {
    std::lock_guard lock(m_machine->mutex());
    Statements& sql = *m_sql;
    sqlite::Transaction transaction(sql.db);
    Use(sql.deleteShare)->bind(1, nameKey(name)).run();
    if (sql.db.changes() == 0)
        return NERR_NetNameNotFound;
    transaction.commit();
    return NERR_Success;
}

} // namespace orvane::embedded
