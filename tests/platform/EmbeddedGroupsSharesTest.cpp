// Local groups and shares on the embedded machine: the results a Windows
// server gives for the cases the contract suite leaves out.

#include "EmbeddedTestMachine.h"
#include "NetApiCalls.h"

#include <QFile>
#include <gtest/gtest.h>

namespace orvane::test {
namespace {

TEST(EmbeddedGroups, MembershipCallsAnswerAsWindowsDoes) {
    EmbeddedTestMachine m;
    ASSERT_EQ(addUser(m.api(), "eve"), NERR_Success);
    EXPECT_EQ(addMembers(m.api(), {}, "No Such Group", {"eve"}), NERR_GroupNotFound);
    EXPECT_EQ(addMembers(m.api(), {}, "Users", {"nobody"}), ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(addMembers(m.api(), {}, "Users", {"ELSEWHERE\\eve"}), ERROR_NO_SUCH_MEMBER);
    EXPECT_EQ(addMembers(m.api(), {}, "Users", {"Guests"}), 1388u); // ERROR_INVALID_MEMBER
    EXPECT_EQ(delMembers(m.api(), {}, "Users", {"nobody"}), ERROR_NO_SUCH_MEMBER);

    // One call is all or nothing.
    EXPECT_EQ(addMembers(m.api(), {}, "Users", {"eve", "nobody"}), ERROR_NO_SUCH_MEMBER);
    QStringList groups;
    ASSERT_EQ(userGroups(m.api(), "eve", groups), NERR_Success);
    EXPECT_TRUE(groups.isEmpty());

    EXPECT_EQ(addMembers(m.api(), {}, "users", {m.api().machineName().toLower() + "\\EVE"}),
              NERR_Success);
    ASSERT_EQ(userGroups(m.api(), "eve", groups), NERR_Success);
    EXPECT_EQ(groups, QStringList{"Users"});

    LOCALGROUP_MEMBERS_INFO_3 member{const_cast<LPWSTR>(u"eve")};
    EXPECT_EQ(m.api().NetLocalGroupAddMembers(nullptr, u"Users", 0, LPBYTE(&member), 1),
              ERROR_INVALID_LEVEL);
    EXPECT_EQ(m.api().NetLocalGroupDelMembers(nullptr, u"Users", 3, nullptr, 1),
              ERROR_INVALID_PARAMETER);
}

TEST(EmbeddedShares, AddTakesAValidNameAndAnExistingFolder) {
    EmbeddedTestMachine m;
    const QString folder = m.makeFolder("shared");
    QFile file(m.path("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (const QString& path : {m.path("missing"), m.path("file"), QString("shared")})
        EXPECT_EQ(addShare(m.api(), {}, "s", path), NERR_UnknownDevDir) << path;
    for (QChar c : QStringView(u"\"/\\[]:|<>+=;,?*\x01"))
        EXPECT_EQ(addShare(m.api(), {}, QStringLiteral("a") + c, folder), ERROR_INVALID_NAME)
            << int(c.unicode());
    EXPECT_EQ(addShare(m.api(), {}, QString(81, u'n'), folder), ERROR_INVALID_NAME);

    DWORD parmErr = 0;
    EXPECT_EQ(addShare(m.api(), {}, "", folder, &parmErr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parmErr, SHARE_NETNAME_PARMNUM);
    EXPECT_EQ(addShare(m.api(), {}, "s", "", &parmErr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parmErr, SHARE_PATH_PARMNUM);

    EXPECT_EQ(addShare(m.api(), {}, QString(80, u'n'), folder), NERR_Success);
    EXPECT_EQ(addShare(m.api(), {}, "Zeta", folder), NERR_Success);
    EXPECT_EQ(addShare(m.api(), {}, "Alpha", folder + "/"), NERR_Success);
    EXPECT_EQ(addShare(m.api(), {}, "ZETA", folder), NERR_DuplicateShare);
    std::vector<Share> list;
    ASSERT_EQ(shares(m.api(), {}, list), NERR_Success);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].name, "Zeta"); // in the order they were added
    EXPECT_EQ(list[2].path, folder + "/");

    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    EXPECT_EQ(
        m.api().NetShareEnum(nullptr, 1, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr),
        ERROR_INVALID_LEVEL);
    EXPECT_EQ(delShare(m.api(), {}, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(delShare(m.api(), {}, "zeta"), NERR_Success);
    EXPECT_EQ(delShare(m.api(), {}, "Zeta"), NERR_NetNameNotFound);
}

} // namespace
} // namespace orvane::test
