#include "support/TestMachine.h"

#include "platform/embedded/Sqlite.h"
#include "platform/netapi/NetBuffer.h"

namespace orvane::test {

NET_API_STATUS TestMachine::addUser(const QString& name, const QString& password,
                                    const QString& comment) {
    QString n = name, p = password, c = comment;
    USER_INFO_1 info{};
    info.usri1_name = reinterpret_cast<LPWSTR>(n.data());
    info.usri1_password = reinterpret_cast<LPWSTR>(p.data());
    info.usri1_priv = USER_PRIV_USER;
    info.usri1_comment = comment.isNull() ? nullptr : reinterpret_cast<LPWSTR>(c.data());
    info.usri1_flags = UF_DONT_EXPIRE_PASSWD;
    return net.NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&info), nullptr);
}

NET_API_STATUS TestMachine::setHome(const QString& name, const QString& home) {
    QString h = home;
    USER_INFO_1006 info{reinterpret_cast<LPWSTR>(h.data())};
    return net.NetUserSetInfo(nullptr, wideText(name), 1006, reinterpret_cast<LPBYTE>(&info),
                              nullptr);
}

NET_API_STATUS TestMachine::join(const QString& group, const QString& name) {
    QString n = name;
    LOCALGROUP_MEMBERS_INFO_3 member{reinterpret_cast<LPWSTR>(n.data())};
    return net.NetLocalGroupAddMembers(nullptr, wideText(group), 3,
                                       reinterpret_cast<LPBYTE>(&member), 1);
}

NET_API_STATUS TestMachine::share(const QString& name, const QString& path) {
    QString n = name, p = path;
    SHARE_INFO_502 info{};
    info.shi502_netname = reinterpret_cast<LPWSTR>(n.data());
    info.shi502_type = STYPE_DISKTREE;
    info.shi502_permissions = ACCESS_READ | ACCESS_WRITE | ACCESS_CREATE;
    info.shi502_max_uses = DWORD(-1);
    info.shi502_path = reinterpret_cast<LPWSTR>(p.data());
    return net.NetShareAdd(nullptr, 502, reinterpret_cast<LPBYTE>(&info), nullptr);
}

std::optional<QStringList> TestMachine::groupsOf(const QString& name) {
    NetBuffer<LOCALGROUP_USERS_INFO_0> buffer(net);
    DWORD read = 0;
    DWORD total = 0;
    if (net.NetUserGetLocalGroups(nullptr, wideText(name), 0, LG_INCLUDE_INDIRECT, buffer.out(),
                                  MAX_PREFERRED_LENGTH, &read, &total) != NERR_Success)
        return std::nullopt;
    QStringList groups;
    for (const LOCALGROUP_USERS_INFO_0& group : buffer.entries(read))
        groups.append(fromWide(group.lgrui0_name));
    return groups;
}

namespace {
QString queryText(const QString& folder, const char* sql) {
    sqlite::Database db(folder + QStringLiteral("/machine.db"), false);
    sqlite::Statement statement(db, sql);
    return statement.step() ? statement.text(0) : QString();
}
} // namespace

void TestMachine::setPasswordComplexity(bool on) {
    sqlite::Database db(folder + QStringLiteral("/machine.db"), false);
    sqlite::Statement update(db, "UPDATE policy SET value = ? WHERE name = 'password_complexity'");
    update.bind(1, std::int64_t(on ? 1 : 0)).run();
}

void TestMachine::addRawAccount(const QString& name) {
    sqlite::Database db(folder + QStringLiteral("/machine.db"), false);
    sqlite::Statement insert(db, "INSERT INTO accounts (name, name_key, password_hash, "
                                 "password_set, priv, flags) VALUES (?, ?, '', 0, 1, 66049)");
    insert.bind(1, name).bind(2, name.toCaseFolded()).run();
}

int TestMachine::accountCount() {
    return queryText(folder, "SELECT COUNT(*) FROM accounts").toInt();
}

QString TestMachine::integrityCheck() {
    return queryText(folder, "PRAGMA integrity_check");
}

ScopedEnv::ScopedEnv(const char* name, std::optional<QString> value)
    : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
    if (value)
        qputenv(name, value->toLocal8Bit());
    else
        qunsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        qputenv(m_name, m_old);
    else
        qunsetenv(m_name);
}

} // namespace orvane::test
