// The samba adapter's own rules, which need no server: the result codes the
// handlers test, account flags as Samba takes them, server spellings, share
// paths, and the credentials the environment gives.

#include "platform/samba/AccountControl.h"
#include "platform/samba/Credentials.h"
#include "platform/samba/ResultCodes.h"
#include "platform/samba/ServerNames.h"
#include "platform/samba/SharePaths.h"
#include "support/TestMachine.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace orvane::samba {
namespace {

using test::ScopedEnv;

TEST(SambaResultCodes, SambasCodesBecomeTheOnesWindowsGivesForTheSameCase) {
    EXPECT_EQ(windowsResult(Operation::AddUser, 1316), NERR_UserExists);
    EXPECT_EQ(windowsResult(Operation::AddUser, 1325), NERR_PasswordTooShort);
    EXPECT_EQ(windowsResult(Operation::ChangeUser, 1332), NERR_UserNotFound);
    EXPECT_EQ(windowsResult(Operation::ChangeUser, 1325), NERR_PasswordTooShort);
    EXPECT_EQ(windowsResult(Operation::ChangeMembers, 1332), NERR_GroupNotFound);
    EXPECT_EQ(windowsResult(Operation::ChangeMembers, 1320), ERROR_MEMBER_IN_ALIAS);
    EXPECT_EQ(windowsResult(Operation::ChangeMembers, 1321), ERROR_MEMBER_NOT_IN_ALIAS);
    EXPECT_EQ(windowsResult(Operation::AddShare, 80), NERR_DuplicateShare);
    EXPECT_EQ(windowsResult(Operation::AddShare, 2), NERR_UnknownDevDir);
    EXPECT_EQ(windowsResult(Operation::DeleteShare, 67), NERR_NetNameNotFound);
    // Windows' own codes, and codes of other cases, pass unchanged.
    for (const NET_API_STATUS code : {0u, 5u, 53u, 234u, 1377u, 1378u, 2224u, 2245u})
        for (const Operation operation :
             {Operation::AddUser, Operation::ChangeUser, Operation::ChangeMembers,
              Operation::AddShare, Operation::DeleteShare, Operation::Other})
            EXPECT_EQ(windowsResult(operation, code), code) << code;
    // A code means one thing per call: 1332 is no user only where a user is named.
    EXPECT_EQ(windowsResult(Operation::Other, 1332), 1332u);
    EXPECT_EQ(windowsResult(Operation::AddUser, 2), 2u);
}

TEST(SambaAccountControl, WindowsFlagsBecomeSambasBits) {
    // The program's flags: a normal account whose password never expires.
    EXPECT_EQ(accountControlBits(UF_SCRIPT | UF_DONT_EXPIRE_PASSWD), 0x210u);
    EXPECT_EQ(accountControlBits(UF_DONT_EXPIRE_PASSWD), 0x210u);
    EXPECT_EQ(accountControlBits(UF_SCRIPT | UF_NORMAL_ACCOUNT), 0x10u);
    EXPECT_EQ(accountControlBits(0), 0x10u);
    EXPECT_EQ(accountControlBits(UF_ACCOUNTDISABLE | UF_PASSWD_NOTREQD), 0x15u);
    EXPECT_EQ(accountControlBits(0x1000 /* workstation trust */), 0x80u);
    EXPECT_EQ(accountControlBits(0x800000 /* password expired */), 0x20010u);
}

TEST(SambaServerNames, EveryNameOfAMachineIsSpelledOneWay) {
    const QStringList local{"localhost", "127.0.0.1", "::1", "host7"};
    const ServerNames here(QString(), local);
    EXPECT_EQ(here.spell(QString()), std::nullopt);
    EXPECT_EQ(here.spell(QStringLiteral("\\\\127.0.0.1")), std::nullopt);
    EXPECT_EQ(here.spell(QStringLiteral("\\\\HOST7")), std::nullopt);
    EXPECT_EQ(here.spell(QStringLiteral("localhost")), std::nullopt);
    EXPECT_EQ(here.spell(QStringLiteral("\\\\fs2")), std::optional<std::string>("fs2"));
    EXPECT_EQ(here.spell(static_cast<LPCWSTR>(nullptr)), std::nullopt);

    const ServerNames there(QStringLiteral("\\\\DC1"), local);
    EXPECT_EQ(there.spell(QString()), std::optional<std::string>("DC1"));
    EXPECT_EQ(there.spell(QStringLiteral("\\\\dc1")), std::optional<std::string>("DC1"));
    EXPECT_EQ(there.spell(QStringLiteral("\\\\127.0.0.1")), std::nullopt);
    EXPECT_EQ(there.target(), "DC1");

    // A target that names this machine is this machine.
    EXPECT_EQ(
        ServerNames(QStringLiteral("127.0.0.1"), local).spell(QStringLiteral("\\\\localhost")),
        std::nullopt);
    EXPECT_EQ(ServerNames(QStringLiteral("127.0.0.1"), local).spell(QString()), std::nullopt);
}

TEST(SambaSharePaths, DrivePathsBecomeLocalOnesAndOthersStay) {
    EXPECT_EQ(localSharePath("C:\\home\\gc user1"), "/home/gc user1");
    EXPECT_EQ(localSharePath("c:\\"), "/");
    EXPECT_EQ(localSharePath("C:"), "/");
    EXPECT_EQ(localSharePath("/srv/homes/a"), "/srv/homes/a");
    EXPECT_EQ(localSharePath(""), "");
    EXPECT_EQ(localSharePath("C:relative"), "C:relative");
    EXPECT_EQ(localSharePath("\\\\srv\\x"), "\\\\srv\\x");
}

TEST(SambaCredentials, TakenFromTheEnvironmentAndThePasswordTakenOutOfIt) {
    QTemporaryDir dir;
    const ScopedEnv cache("KRB5CCNAME", dir.filePath("no-ticket"));
    {
        const ScopedEnv user("USER", QStringLiteral("admin"));
        const ScopedEnv password("PASSWD", QStringLiteral("S3cret%x"));
        std::string why;
        const auto credentials = takeCredentialsFromEnvironment(why);
        ASSERT_TRUE(credentials) << why;
        EXPECT_EQ(credentials->user, "admin");
        EXPECT_EQ(credentials->password, "S3cret%x");
        EXPECT_FALSE(credentials->useTicketCache);
        EXPECT_FALSE(qEnvironmentVariableIsSet("PASSWD"));
    }
    {
        const ScopedEnv user("USER", QStringLiteral("admin%Pa55"));
        const ScopedEnv password("PASSWD", std::nullopt);
        std::string why;
        const auto credentials = takeCredentialsFromEnvironment(why);
        ASSERT_TRUE(credentials) << why;
        EXPECT_EQ(credentials->user, "admin");
        EXPECT_EQ(credentials->password, "Pa55");
        EXPECT_EQ(qgetenv("USER"), "admin");
    }
    {
        // No password and no ticket: refused, never an anonymous logon.
        const ScopedEnv user("USER", QStringLiteral("admin"));
        const ScopedEnv password("PASSWD", std::nullopt);
        std::string why;
        EXPECT_FALSE(takeCredentialsFromEnvironment(why));
        EXPECT_NE(why.find("kinit"), std::string::npos);

        QFile ticket(dir.filePath("no-ticket"));
        ASSERT_TRUE(ticket.open(QIODevice::WriteOnly));
        ticket.close();
        const auto credentials = takeCredentialsFromEnvironment(why);
        ASSERT_TRUE(credentials);
        EXPECT_TRUE(credentials->useTicketCache);
    }
    {
        const ScopedEnv user("USER", std::nullopt);
        const ScopedEnv password("PASSWD", QStringLiteral("x"));
        std::string why;
        EXPECT_FALSE(takeCredentialsFromEnvironment(why));
    }
}

} // namespace
} // namespace orvane::samba
