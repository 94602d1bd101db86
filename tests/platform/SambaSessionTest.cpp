// libnetapi's context made anew every few exchanges, as a long session does
// to give back what libnetapi keeps: every call goes on as before.

#include "NetApiCalls.h"

#include "platform/netapi/WideText.h"
#include "platform/samba/SambaNetApi.h"
#include "support/SambaTestServer.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

TEST(SambaSession, CallsGoOnAcrossANewContext) {
    if (const std::string why = SambaTestServer::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    samba::SambaNetApi api(SambaTestServer::credentials(),
                           samba::ServerNames(QString(), samba::ServerNames::thisMachine()), 2);
    const QStringList names{"ctrS1", "ctrS2", "ctrS3", "ctrS4", "ctrS5"};
    for (const QString& name : names)
        ASSERT_EQ(addUser(api, name), NERR_Success) << name;
    const Listing listing = listUsers(api, QString());
    ASSERT_EQ(listing.results.back(), NERR_Success);
    for (const QString& name : names)
        EXPECT_TRUE(findUser(listing.users, name)) << name;
    EXPECT_EQ(addMembers(api, QString(), "Remote Desktop Users", {"ctrS1", "ctrS2"}), NERR_Success);
    QStringList groups;
    EXPECT_EQ(userGroups(api, "ctrS2", groups), NERR_Success);
    EXPECT_TRUE(groups.contains("Remote Desktop Users"));
    EXPECT_EQ(delMembers(api, QString(), "Remote Desktop Users", {"ctrS1", "ctrS2"}), NERR_Success);
    for (const QString& name : names)
        EXPECT_EQ(api.NetUserDel(nullptr, wideText(name)), NERR_Success) << name;
}

} // namespace
} // namespace orvane::test
