#include "platform/AskingUser.h"
#include "support/TestMachine.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace orvane;

using orvane::test::ScopedEnv;

// Root acts for whoever PKEXEC_UID names; a value that is no uid must never
// be read as some uid (root's above all), or root would act for the wrong user.
TEST(AskingUser, PkexecNamesTheUserOrNoOne) {
    {
        ScopedEnv pkexec("PKEXEC_UID", std::nullopt);
        EXPECT_EQ(askingUid(), ::getuid());
    }
    for (const char* given : {"0", "65534", "1000"}) {
        ScopedEnv pkexec("PKEXEC_UID", QString::fromLatin1(given));
        EXPECT_EQ(askingUid(), uid_t(std::stoul(given))) << given;
    }
    for (const char* given :
         {"", "x", "12x", " 12", "12 ", "-1", "+5", "4294967295", "99999999999999999999", "0x10"}) {
        ScopedEnv pkexec("PKEXEC_UID", QString::fromLatin1(given));
        EXPECT_EQ(askingUid(), std::nullopt) << '"' << given << '"';
    }
}

TEST(AskingUser, AccountFromThePasswdDatabase) {
    const std::optional<UserAccount> root = lookUpUser(0);
    ASSERT_TRUE(root);
    EXPECT_EQ(root->name, QByteArray("root"));
    EXPECT_EQ(root->gid, gid_t(0));
    EXPECT_FALSE(root->home.isEmpty());
    EXPECT_EQ(lookUpUser(uid_t(4000000123u)), std::nullopt);
}
