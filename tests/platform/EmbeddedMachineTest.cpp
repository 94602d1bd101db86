// The embedded machine as a whole: which server names reach it, what it keeps
// on disk and how, and how it starts.

#include "EmbeddedTestMachine.h"
#include "NetApiCalls.h"

#include "platform/embedded/PasswordHash.h"
#include "platform/netapi/WideText.h"

#include <QFile>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace orvane::test {
namespace {

// Every call of the service with the given server name; the results in order.
std::vector<NET_API_STATUS> everyCall(NetApi& api, const QString& server) {
    WideBuffer name(server);
    LPCWSTR s = server.isNull() ? nullptr : name.get();
    LMSTR ls = server.isNull() ? nullptr : name.get();
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    DWORD_PTR groupResume = 0;
    USER_INFO_1 user{const_cast<LPWSTR>(u"probe"),
                     const_cast<LPWSTR>(u"Kq7!zt4817"),
                     0,
                     1,
                     nullptr,
                     nullptr,
                     0,
                     nullptr};
    LOCALGROUP_MEMBERS_INFO_3 member{const_cast<LPWSTR>(u"probe")};
    USER_INFO_1006 home{const_cast<LPWSTR>(u"")};
    WideBuffer shareName(QStringLiteral("probe")), path(QStringLiteral("/"));
    SHARE_INFO_2 share{shareName.get(), STYPE_DISKTREE, nullptr, 0, 0, 0, path.get(), nullptr};
    std::vector<NET_API_STATUS> results;
    auto record = [&](NET_API_STATUS result) {
        results.push_back(result);
        api.NetApiBufferFree(buffer);
        buffer = nullptr;
    };
    record(api.NetUserAdd(s, 1, LPBYTE(&user), nullptr));
    record(api.NetUserEnum(s, 0, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume));
    record(api.NetUserSetInfo(s, u"probe", 1006, LPBYTE(&home), nullptr));
    record(
        api.NetUserGetLocalGroups(s, u"probe", 0, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total));
    record(api.NetLocalGroupEnum(s, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &groupResume));
    record(api.NetLocalGroupAddMembers(s, u"Users", 3, LPBYTE(&member), 1));
    record(api.NetLocalGroupDelMembers(s, u"Users", 3, LPBYTE(&member), 1));
    record(api.NetShareAdd(ls, 2, LPBYTE(&share), nullptr));
    record(api.NetShareEnum(ls, 2, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume));
    record(api.NetShareDel(ls, shareName.get(), 0));
    record(api.NetUserDel(s, u"probe"));
    return results;
}

TEST(EmbeddedMachine, OnlyThisMachineAnswers) {
    EmbeddedTestMachine m;
    const QString name = m.api().machineName();
    for (const QString& far :
         {QString("\\\\ELSEWHERE"), name, "\\\\" + name + "X", "\\\\\\\\" + name})
        EXPECT_EQ(everyCall(m.api(), far), std::vector<NET_API_STATUS>(11, ERROR_BAD_NETPATH))
            << far;
    for (const QString& local : {QString(), QString(""), m.server(), m.server().toLower()})
        EXPECT_EQ(everyCall(m.api(), local), std::vector<NET_API_STATUS>(11, NERR_Success))
            << local;
}

TEST(EmbeddedMachine, KeepsPasswordsAsSaltedHashesOnly) {
    EmbeddedTestMachine m;
    const QString password = "Clear-Text-4711";
    ASSERT_EQ(addUser(m.api(), "hal", password), NERR_Success);
    ASSERT_EQ(addUser(m.api(), "ida", password), NERR_Success);
    const QString hal = m.text("SELECT password_hash FROM accounts WHERE name = 'hal'");
    const QString ida = m.text("SELECT password_hash FROM accounts WHERE name = 'ida'");
    EXPECT_TRUE(hal.startsWith("$y$"));
    EXPECT_NE(hal, ida);
    EXPECT_TRUE(embedded::passwordMatches(password, hal.toLatin1()));
    EXPECT_FALSE(embedded::passwordMatches(u"clear-text-4711", hal.toLatin1()));

    const QByteArray utf16(reinterpret_cast<const char*>(password.utf16()), password.size() * 2);
    for (const char* suffix : {"", "-wal"}) {
        QFile file(m.database() + suffix);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << suffix;
        const QByteArray bytes = file.readAll();
        EXPECT_FALSE(bytes.contains(password.toUtf8())) << suffix;
        EXPECT_FALSE(bytes.contains(utf16)) << suffix;
    }
}

TEST(EmbeddedMachine, ItsFilesAreTheOwnersAlone) {
    EmbeddedTestMachine m;
    ASSERT_EQ(addUser(m.api(), "jo"), NERR_Success);
    auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : ~0u;
    };
    EXPECT_EQ(mode(m.folder()), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(mode(m.database() + suffix), 0600u) << suffix;
}

TEST(EmbeddedMachine, StartsAsAFreshlyInstalledServer) {
    EmbeddedTestMachine m;
    EXPECT_EQ(m.api().machineName(), m.text("SELECT value FROM machine WHERE key = 'name'"));
    EXPECT_EQ(m.api().machineName(), m.api().machineName().toUpper());

    const auto users = listUsers(m.api(), {}).users;
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users[0].name, "Administrator");
    EXPECT_EQ(users[0].priv, USER_PRIV_ADMIN);
    EXPECT_EQ(users[1].name, "Guest");
    EXPECT_EQ(users[1].priv, USER_PRIV_GUEST);
    QStringList groups;
    ASSERT_EQ(userGroups(m.api(), "Administrator", groups), NERR_Success);
    EXPECT_EQ(groups, QStringList{"Administrators"});
    ASSERT_EQ(userGroups(m.api(), "Guest", groups), NERR_Success);
    EXPECT_EQ(groups, QStringList{"Guests"});

    ASSERT_EQ(localGroups(m.api(), {}, groups), NERR_Success);
    EXPECT_EQ(groups.size(), 18);
    EXPECT_EQ(groups.mid(0, 3), QStringList({"Administrators", "Users", "Guests"}));
    std::vector<Share> list;
    EXPECT_EQ(shares(m.api(), {}, list), NERR_Success);
    EXPECT_TRUE(list.empty());

    // A second opening finds the same machine rather than seeding another.
    ASSERT_EQ(addUser(m.api(), "kim"), NERR_Success);
    embedded::EmbeddedNetApi again(m.folder());
    EXPECT_EQ(listUsers(again, {}).users.size(), 3u);
}

} // namespace
} // namespace orvane::test
