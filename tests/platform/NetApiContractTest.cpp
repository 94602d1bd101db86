// What the program's handlers rely on, and every backend must do, as a Windows
// server does it. Each test gets a fresh machine of each registered backend.

#include "ContractBackend.h"
#include "NetApiCalls.h"

#include "platform/netapi/NetBuffer.h"

#include <QSet>
#include <algorithm>
#include <gtest/gtest.h>

namespace orvane::test {

std::vector<std::shared_ptr<ContractBackend>>& contractBackends() {
    static std::vector<std::shared_ptr<ContractBackend>> backends;
    return backends;
}

namespace {

// A builtin group that no account joins by itself.
const QString kGroup = QStringLiteral("Remote Desktop Users");

// What a machine without a share service answers every share call.
constexpr NET_API_STATUS kServerNotStarted = 2114;

class NetApiContract : public testing::TestWithParam<std::shared_ptr<ContractBackend>> {
protected:
    void SetUp() override {
        if (const std::string why = GetParam()->unavailable(); !why.empty())
            GTEST_SKIP() << why;
        m_machine = GetParam()->freshMachine();
    }
    NetApi& api() { return m_machine->api(); }
    QString server() const { return m_machine->serverName(); }
    QString folder(const QString& leaf) { return m_machine->makeFolder(leaf); }
    QString defaultHome(const QString& account) const { return m_machine->defaultHome(account); }
    // A built-in group as the machine lists it; group(): the membership cases'.
    QString groupNamed(const QString& windowsName) const {
        return m_machine->groupName(windowsName);
    }
    QString group() const { return groupNamed(kGroup); }
    bool servesShares() const { return GetParam()->servesShares(); }
    // A share call's answer here: `served`, or 2114 on a machine without a
    // share service.
    NET_API_STATUS shareAnswer(NET_API_STATUS served) const {
        return servesShares() ? served : kServerNotStarted;
    }
    // On a machine without a share service, checks that every share call
    // says so, records it in the test's output, and returns true.
    bool sharesNotServed() {
        if (servesShares())
            return false;
        RecordProperty("shares", "not served: every share call answers 2114");
        std::vector<Share> list;
        EXPECT_EQ(addShare(api(), server(), "ctrNone", folder("shares/none")), kServerNotStarted);
        EXPECT_EQ(shares(api(), QString(), list), kServerNotStarted);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(delShare(api(), server(), "ctrNone"), kServerNotStarted);
        return true;
    }

private:
    std::unique_ptr<ContractMachine> m_machine;
};

TEST_P(NetApiContract, AddingAnExistingNameIsUserExists) {
    EXPECT_EQ(addUser(api(), "ctrAlice"), NERR_Success);
    EXPECT_EQ(addUser(api(), "ctrAlice"), NERR_UserExists);
}

TEST_P(NetApiContract, ListingInBatchesGivesEveryAccountOnceWithItsFields) {
    const QString home = folder("homes/ctr07");
    for (int i = 0; i < 70; ++i) {
        const QString name = QStringLiteral("ctr%1").arg(i, 2, 10, QChar(u'0'));
        ASSERT_EQ(addUser(api(), name, kGoodPassword, "note " + name, i == 7 ? home : QString()),
                  NERR_Success);
    }
    const Listing listing = listUsers(api(), server(), 0);
    ASSERT_EQ(listing.results.back(), NERR_Success);
    for (size_t i = 0; i + 1 < listing.results.size(); ++i) {
        EXPECT_EQ(listing.results[i], ERROR_MORE_DATA);
        EXPECT_NE(listing.resumeHandles[i], 0u);
    }
    QSet<QString> seen;
    for (const User& user : listing.users) {
        EXPECT_FALSE(seen.contains(user.name)) << user.name;
        seen.insert(user.name);
    }
    for (int i = 0; i < 70; ++i) {
        const QString name = QStringLiteral("ctr%1").arg(i, 2, 10, QChar(u'0'));
        const std::optional<User> user = findUser(listing.users, name);
        ASSERT_TRUE(user) << name;
        EXPECT_EQ(user->comment, "note " + name);
        EXPECT_EQ(user->homeDir, i == 7 ? home : defaultHome(name));
        EXPECT_EQ(user->priv, USER_PRIV_USER);
    }
    // A null server is this machine too.
    EXPECT_EQ(listUsers(api(), QString(), 0).users.size(), listing.users.size());
}

// A site's list is longer than two of the server's batches, and the program
// asks about each account between them.
TEST_P(NetApiContract, ListingSurvivesCallsBetweenBatchesAndSeesChangesMadeMeanwhile) {
    constexpr int kAccounts = 650;
    QStringList names;
    for (int i = 0; i < kAccounts; ++i) {
        names << QStringLiteral("ctrMany%1").arg(i, 3, 10, QChar(u'0'));
        ASSERT_EQ(addUser(api(), names.back()), NERR_Success) << names.back();
    }
    QStringList before;
    ASSERT_EQ(userGroups(api(), "ctrMany007", before), NERR_Success);
    ASSERT_FALSE(before.contains(group()));

    int batches = 0;
    QStringList during;
    const QString shared = folder("shares/many");
    const Listing listing = listUsers(api(), server(), 0, [&] {
        QStringList groups;
        std::vector<Share> list;
        EXPECT_EQ(userGroups(api(), names[batches], groups), NERR_Success);
        EXPECT_EQ(shares(api(), QString(), list), shareAnswer(NERR_Success));
        EXPECT_EQ(localGroups(api(), server(), groups), NERR_Success);
        // A change between batches: what was read before it must not answer after it.
        // And a second caller's whole listing meanwhile keeps neither from its place.
        if (batches++ == 0) {
            EXPECT_EQ(addMembers(api(), server(), kGroup, {"ctrMany007"}), NERR_Success);
            EXPECT_EQ(userGroups(api(), "ctrMany007", during), NERR_Success);
            const Listing other = listUsers(api(), server(), 0);
            EXPECT_EQ(other.results.back(), NERR_Success);
            EXPECT_GE(other.users.size(), size_t(kAccounts));
            // The shares as listed once for this refill must not hide a new one.
            EXPECT_EQ(addShare(api(), server(), "ctrManyShare", shared), shareAnswer(NERR_Success));
            EXPECT_EQ(shares(api(), QString(), list), shareAnswer(NERR_Success));
            EXPECT_EQ(std::any_of(list.begin(), list.end(),
                                  [](const Share& share) {
                                      return share.name.compare("ctrManyShare",
                                                                Qt::CaseInsensitive) == 0;
                                  }),
                      servesShares());
        }
    });
    ASSERT_EQ(listing.results.back(), NERR_Success);
    QSet<QString> seen;
    for (const User& user : listing.users) {
        EXPECT_FALSE(seen.contains(user.name)) << user.name;
        seen.insert(user.name);
    }
    for (const QString& name : names)
        EXPECT_TRUE(seen.contains(name)) << name;
    EXPECT_TRUE(during.contains(group()));
    QStringList after;
    ASSERT_EQ(userGroups(api(), "ctrMany007", after), NERR_Success);
    EXPECT_TRUE(after.contains(group()));
}

TEST_P(NetApiContract, LocalGroupsIncludeTheBuiltinOnes) {
    QStringList groups;
    ASSERT_EQ(localGroups(api(), server(), groups), NERR_Success);
    for (const char* name : {"Administrators", "Users", "Guests"})
        EXPECT_TRUE(groups.contains(groupNamed(name))) << name;
}

TEST_P(NetApiContract, MembershipIsAddedOnceRemovedOnceAndShows) {
    ASSERT_EQ(addUser(api(), "ctrBob"), NERR_Success);
    QStringList groups;
    EXPECT_EQ(addMembers(api(), server(), kGroup, {"ctrBob"}), NERR_Success);
    EXPECT_EQ(addMembers(api(), server(), kGroup, {"ctrBob"}), ERROR_MEMBER_IN_ALIAS);
    ASSERT_EQ(userGroups(api(), "ctrBob", groups), NERR_Success);
    EXPECT_TRUE(groups.contains(group()));

    EXPECT_EQ(delMembers(api(), server(), kGroup, {"ctrBob"}), NERR_Success);
    EXPECT_EQ(delMembers(api(), server(), kGroup, {"ctrBob"}), ERROR_MEMBER_NOT_IN_ALIAS);
    ASSERT_EQ(userGroups(api(), "ctrBob", groups), NERR_Success);
    EXPECT_FALSE(groups.contains(group()));
}

TEST_P(NetApiContract, DeletedAccountIsGone) {
    ASSERT_EQ(addUser(api(), "ctrCarol"), NERR_Success);
    EXPECT_EQ(api().NetUserDel(nullptr, u"ctrCarol"), NERR_Success);
    EXPECT_EQ(api().NetUserDel(nullptr, u"ctrCarol"), NERR_UserNotFound);
    EXPECT_FALSE(findUser(listUsers(api(), server()).users, "ctrCarol"));
    EXPECT_EQ(addUser(api(), "ctrCarol"), NERR_Success);
}

TEST_P(NetApiContract, SetInfoSetsAndClearsTheHomeFolderAlone) {
    ASSERT_EQ(addUser(api(), "ctrDave", kGoodPassword, "kept"), NERR_Success);
    const QString home = folder("homes/ctrDave");
    ASSERT_EQ(setHomeDir(api(), "ctrDave", home), NERR_Success);
    std::optional<User> user = findUser(listUsers(api(), server()).users, "ctrDave");
    ASSERT_TRUE(user);
    EXPECT_EQ(user->homeDir, home);
    EXPECT_EQ(user->comment, "kept");

    ASSERT_EQ(setHomeDir(api(), "ctrDave", ""), NERR_Success);
    const Listing after = listUsers(api(), server());
    ASSERT_TRUE((user = findUser(after.users, "ctrDave")));
    EXPECT_EQ(user->homeDir, defaultHome("ctrDave"));
    EXPECT_EQ(user->comment, "kept");
}

TEST_P(NetApiContract, SettingTheHomeFolderKeepsADisabledAccountDisabled) {
    ASSERT_EQ(addUser(api(), "ctrFrank", kGoodPassword, {}, {},
                      UF_DONT_EXPIRE_PASSWD | UF_ACCOUNTDISABLE),
              NERR_Success);
    const auto disabled = [&] {
        const std::optional<User> user = findUser(listUsers(api(), server()).users, "ctrFrank");
        return user && (user->flags & UF_ACCOUNTDISABLE);
    };
    ASSERT_TRUE(disabled());
    ASSERT_EQ(setHomeDir(api(), "ctrFrank", folder("homes/ctrFrank")), NERR_Success);
    EXPECT_TRUE(disabled());
    ASSERT_EQ(setHomeDir(api(), "ctrFrank", ""), NERR_Success);
    EXPECT_TRUE(disabled());
}

TEST_P(NetApiContract, SharesAreAddedListedWithTheirPathAndDeleted) {
    if (sharesNotServed())
        return;
    const QString first = folder("shares/first"), second = folder("shares/second");
    ASSERT_EQ(addShare(api(), server(), "ctrFirst", first), NERR_Success);
    ASSERT_EQ(addShare(api(), server(), "ctrSecond", second), NERR_Success);
    EXPECT_EQ(addShare(api(), server(), "ctrFirst", second), NERR_DuplicateShare);

    std::vector<Share> list;
    ASSERT_EQ(shares(api(), QString(), list), NERR_Success);
    auto pathOf = [&](const QString& name) {
        for (const Share& share : list)
            if (share.name.compare(name, Qt::CaseInsensitive) == 0)
                return share.path;
        return QStringLiteral("<none>");
    };
    EXPECT_EQ(pathOf("ctrFirst"), first);
    EXPECT_EQ(pathOf("ctrSecond"), second);

    EXPECT_EQ(delShare(api(), server(), "ctrFirst"), NERR_Success);
    EXPECT_EQ(delShare(api(), server(), "ctrFirst"), NERR_NetNameNotFound);
    ASSERT_EQ(shares(api(), QString(), list), NERR_Success);
    EXPECT_EQ(pathOf("ctrFirst"), "<none>");
    EXPECT_EQ(pathOf("ctrSecond"), second);
}

TEST_P(NetApiContract, UnknownNamesGetWindowsCodes) {
    ASSERT_EQ(addUser(api(), "ctrErin"), NERR_Success);
    QStringList groups;
    EXPECT_EQ(addMembers(api(), server(), "ctr No Such Group", {"ctrErin"}), NERR_GroupNotFound);
    EXPECT_EQ(delMembers(api(), server(), "ctr No Such Group", {"ctrErin"}), NERR_GroupNotFound);
    EXPECT_EQ(addMembers(api(), server(), kGroup, {"ctrNobody"}), ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(userGroups(api(), "ctrNobody", groups), NERR_UserNotFound);
    EXPECT_EQ(setHomeDir(api(), "ctrNobody", folder("homes/ctrNobody")), NERR_UserNotFound);
    EXPECT_EQ(api().NetUserDel(nullptr, u"ctrNobody"), NERR_UserNotFound);
}

TEST_P(NetApiContract, UnknownSharesAndFoldersGetWindowsCodes) {
    const QString missing = folder("shares") + QStringLiteral("/not-there");
    EXPECT_EQ(addShare(api(), server(), "ctrMissing", missing), shareAnswer(NERR_UnknownDevDir));
    EXPECT_EQ(delShare(api(), server(), "ctrMissing"), shareAnswer(NERR_NetNameNotFound));
}

// Windows' clients fold the case of share names.
TEST_P(NetApiContract, ShareNamesIgnoreCase) {
    if (sharesNotServed())
        return;
    ASSERT_EQ(addShare(api(), server(), "ctrCase", folder("shares/case")), NERR_Success);
    EXPECT_EQ(addShare(api(), server(), "CTRCASE", folder("shares/other")), NERR_DuplicateShare);
    EXPECT_EQ(delShare(api(), server(), "CtrCASE"), NERR_Success);
    EXPECT_EQ(delShare(api(), server(), "ctrCase"), NERR_NetNameNotFound);
}

TEST_P(NetApiContract, BuffersAreFreedAndFreeingNullIsFine) {
    EXPECT_EQ(api().NetApiBufferFree(nullptr), NERR_Success);
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    ASSERT_EQ(
        api().NetLocalGroupEnum(nullptr, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
        NERR_Success);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(api().NetApiBufferFree(buffer), NERR_Success);
}

INSTANTIATE_TEST_SUITE_P(Backends, NetApiContract, testing::ValuesIn(contractBackends()),
                         [](const auto& info) { return info.param->name(); });

} // namespace
} // namespace orvane::test
