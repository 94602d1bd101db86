#pragma once

// The embedded machine's accounts, groups, memberships and shares as SQL: the
// statements are prepared once (the program makes several calls per account
// when it lists tens of thousands), every method takes the connection's lock
// and runs in one transaction, and answers with the service's result codes.

#include "platform/netapi/Records.h"

#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace orvane::embedded {

class MachineDatabase;

// One page of a listing: the entries that went into the caller's batch, and
// the key to go on from when more are left.
template <class Row> struct Page {
    std::vector<Row> rows;
    DWORD total = 0;
    bool more = false;
    std::int64_t last = 0;
};

struct NewAccount {
    QString name;
    QByteArray passwordHash;
    QString homeDir;
    QString comment;
    DWORD flags = 0;
    QString scriptPath;
};

// What NetUserSetInfo changes; an empty optional leaves its column as it is.
struct AccountChange {
    std::optional<QByteArray> passwordHash;
    std::optional<QString> homeDir;
    std::optional<QString> comment;
    std::optional<QString> scriptPath;
};

class MachineStore {
public:
    // Throws sqlite::Error when the machine has no name or a statement fails.
    explicit MachineStore(std::shared_ptr<MachineDatabase> machine);
    ~MachineStore();

    const QString& machineName() const { return m_machineName; }

    // Accounts after the RID `after` whose type bits meet typeMask (0: all).
    Page<records::User> users(DWORD level, std::int64_t after, std::int64_t typeMask,
                              records::Batch& batch);
    // The account's local groups; NERR_UserNotFound when there is no account.
    NET_API_STATUS groupsOf(const QString& name, records::Batch& batch, Page<QString>& page);
    Page<QString> groups(std::int64_t after, records::Batch& batch);
    Page<records::Share> shares(DWORD level, std::int64_t after, records::Batch& batch);

    // The password is checked against the policy inside the transaction.
    NET_API_STATUS addUser(const NewAccount& account, QStringView password);
    NET_API_STATUS deleteUser(const QString& name);
    // password: the clear text for the policy check, when a new one is set.
    NET_API_STATUS changeUser(const QString& name, const AccountChange& change,
                              std::optional<QStringView> password);
    // Every member of the call, or none. A member name may carry this
    // machine's name ("MACHINE\name").
    NET_API_STATUS changeMembers(const QString& group, const std::vector<QString>& members,
                                 bool add);
    NET_API_STATUS addShare(const records::Share& share);
    NET_API_STATUS deleteShare(const QString& name);

private:
    struct Statements;
    std::shared_ptr<MachineDatabase> m_machine;
    QString m_machineName;
    std::unique_ptr<Statements> m_sql;
};

} // namespace orvane::embedded
