// uses-programs: pwck grpck pdbedit groupadd net sh useradd usermod userdel
// (pwck runs with -q: a missing home is fine.)
// The host backend against this machine's own shadow suite, over a private
// copy of /etc (tests/support/with-private-etc starts this program).

#include "platform/host/HostNetApi.h"
#include "NetApiCalls.h"
#include "platform/PasswordHash.h"
#include "platform/Process.h"
#include "platform/host/AccountFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace orvane::test {
namespace {

class HostNetApiTest : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0)
            GTEST_SKIP() << "needs root over a private /etc (tests/support/with-private-etc)";
    }

    static QByteArray file(const char* name) {
        QFile f(QStringLiteral("/etc/") + QLatin1StringView(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static const host::ShadowEntry* shadowOf(const std::vector<host::ShadowEntry>& all,
                                             const QByteArray& name) {
        for (const auto& entry : all)
            if (entry.name == name)
                return &entry;
        return nullptr;
    }
    static bool filesAreSound() {
        return runProcess(QStringLiteral("/usr/sbin/pwck"), {QStringLiteral("-qr")}).status == 0 &&
               runProcess(QStringLiteral("/usr/sbin/grpck"), {QStringLiteral("-qr")}).status == 0;
    }

    host::HostNetApi m_api;
};

TEST_F(HostNetApiTest, AnAccountIsMadeAsTheSuiteMakesItAndListed) {
    ASSERT_EQ(addUser(m_api, "hostAnna", kGoodPassword, "Anna, class 3"), NERR_Success);
    const auto shadow = host::parseShadow(file("shadow"));
    const host::ShadowEntry* entry = shadowOf(shadow, "hostAnna");
    ASSERT_NE(entry, nullptr);
    // The machine's own method (Debian: SHA512), and the password opens it.
    EXPECT_TRUE(entry->hash.startsWith("$6$")) << entry->hash.constData();
    EXPECT_TRUE(passwordMatches(kGoodPassword, entry->hash));
    EXPECT_TRUE(host::neverExpires(*entry));
    EXPECT_FALSE(file("passwd").contains(kGoodPassword.toUtf8()));

    const Listing listing = listUsers(m_api, QString());
    const auto anna = std::find_if(listing.users.begin(), listing.users.end(),
                                   [](const User& u) { return u.name == u"hostAnna"; });
    ASSERT_NE(anna, listing.users.end());
    EXPECT_EQ(anna->comment, QStringLiteral("Anna, class 3"));
    // useradd's default home, not made: the row says so.
    EXPECT_EQ(anna->homeDir, QStringLiteral("/home/hostAnna"));
    EXPECT_EQ(anna->priv, USER_PRIV_USER);
    EXPECT_EQ(anna->flags, UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD);
    for (const User& user : listing.users)
        EXPECT_NE(user.name, u"root");
    EXPECT_TRUE(filesAreSound());
}

TEST_F(HostNetApiTest, BadInputFailsAndMakesNothing) {
    ASSERT_EQ(addUser(m_api, "hostBea"), NERR_Success);
    const QByteArray before = file("passwd") + file("shadow") + file("group");
    EXPECT_EQ(addUser(m_api, "hostBea"), NERR_UserExists);
    EXPECT_EQ(addUser(m_api, "HOSTBEA"), NERR_UserExists) << "names differing in case alone";
    EXPECT_EQ(addUser(m_api, "root"), NERR_UserExists);
    EXPECT_EQ(addUser(m_api, "daemon"), NERR_UserExists);
    EXPECT_EQ(addUser(m_api, "12345"), NERR_BadUsername) << "a name a program reads as a UID";
    EXPECT_EQ(addUser(m_api, "host Bea"), NERR_BadUsername) << "useradd's own rule";
    EXPECT_EQ(addUser(m_api, "host:x"), NERR_BadUsername);
    EXPECT_EQ(addUser(m_api, "hostCid", QString()), NERR_PasswordTooShort);
    EXPECT_EQ(addUser(m_api, "hostCid", QStringLiteral("")), NERR_PasswordTooShort);
    EXPECT_EQ(file("passwd") + file("shadow") + file("group"), before);
    EXPECT_TRUE(filesAreSound());
}

TEST_F(HostNetApiTest, TheMachinesPasswordQualityRuleHolds) {
    // Without pam_pwquality in the stack any password but an empty one goes.
    ASSERT_EQ(addUser(m_api, "hostGil", QStringLiteral("a")), NERR_Success);
    // The later tests run over the same /etc: its policy is put back after.
    struct Restore {
        QByteArray stack = file("pam.d/common-password"), config = file("security/pwquality.conf");
        ~Restore() {
            for (auto [name, text] : {std::pair{"/etc/pam.d/common-password", &stack},
                                      std::pair{"/etc/security/pwquality.conf", &config}}) {
                QFile f{QString::fromLatin1(name)};
                if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                    f.write(*text);
            }
        }
    } restore;
    QFile stack(QStringLiteral("/etc/pam.d/common-password"));
    ASSERT_TRUE(stack.open(QIODevice::Append));
    stack.write("password requisite pam_pwquality.so retry=3\n");
    stack.close();
    QFile config(QStringLiteral("/etc/security/pwquality.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly | QIODevice::Truncate));
    config.write("minlen = 14\nusercheck = 1\n");
    config.close();
    const QByteArray before = file("passwd");
    EXPECT_EQ(addUser(m_api, "hostHal", kGoodPassword), NERR_PasswordTooShort);
    EXPECT_EQ(addUser(m_api, "hostHal", QStringLiteral("hostHal-Zq7!xw2Lp9")),
              NERR_PasswordTooShort)
        << "it holds the account's name";
    EXPECT_EQ(file("passwd"), before);
    EXPECT_EQ(addUser(m_api, "hostHal", QStringLiteral("Zq7!xw2Lp9-Rt5#vb")), NERR_Success);
}

TEST_F(HostNetApiTest, MembershipThroughTheWindowsNamesAndTheirCodes) {
    ASSERT_EQ(addUser(m_api, "hostDan"), NERR_Success);
    EXPECT_EQ(addMembers(m_api, {}, "Users", {"hostDan"}), NERR_Success);
    EXPECT_EQ(addMembers(m_api, {}, "users", {"hostDan"}), ERROR_MEMBER_IN_ALIAS);
    QStringList groups;
    ASSERT_EQ(userGroups(m_api, "hostDan", groups), NERR_Success);
    EXPECT_TRUE(groups.contains(u"users"));
    QStringList all;
    ASSERT_EQ(localGroups(m_api, {}, all), NERR_Success);
    EXPECT_TRUE(all.contains(u"users"));
    EXPECT_FALSE(all.contains(u"hostDan")) << "an account's own group is not handed out";
    EXPECT_EQ(delMembers(m_api, {}, "Users", {"hostDan"}), NERR_Success);
    EXPECT_EQ(delMembers(m_api, {}, "Users", {"hostDan"}), ERROR_MEMBER_NOT_IN_ALIAS);
    EXPECT_EQ(addMembers(m_api, {}, "No Such Group", {"hostDan"}), NERR_GroupNotFound);
    EXPECT_EQ(addMembers(m_api, {}, "Users", {"hostNobody"}), ERROR_NO_SUCH_MEMBER);
    // A call with one bad member changes nothing.
    EXPECT_EQ(addMembers(m_api, {}, "Users", {"hostDan", "hostNobody"}), ERROR_NO_SUCH_MEMBER);
    ASSERT_EQ(userGroups(m_api, "hostDan", groups), NERR_Success);
    EXPECT_FALSE(groups.contains(u"users"));
    EXPECT_TRUE(filesAreSound());
}

TEST_F(HostNetApiTest, HomeFieldAloneChangesAndDeletionLeavesFiles) {
    ASSERT_EQ(addUser(m_api, "hostEve"), NERR_Success);
    ASSERT_EQ(addMembers(m_api, {}, "Users", {"hostEve"}), NERR_Success);
    const QByteArray shadowBefore = file("shadow");
    ASSERT_EQ(setHomeDir(m_api, "hostEve", "/srv/homes/hostEve"), NERR_Success);
    EXPECT_TRUE(file("passwd").contains(":/srv/homes/hostEve:"));
    EXPECT_EQ(file("shadow"), shadowBefore) << "the password and lock stay";
    ASSERT_EQ(setHomeDir(m_api, "hostEve", ""), NERR_Success);
    EXPECT_TRUE(file("passwd").contains(":/home/hostEve:"));
    EXPECT_EQ(setHomeDir(m_api, "root", "/tmp"), NERR_UserNotFound);

    ASSERT_EQ(m_api.NetUserDel(nullptr, u"hostEve"), NERR_Success);
    EXPECT_FALSE(file("passwd").contains("hostEve"));
    EXPECT_FALSE(file("group").contains("hostEve")) << "out of its groups too";
    EXPECT_EQ(m_api.NetUserDel(nullptr, u"hostEve"), NERR_UserNotFound);
    EXPECT_EQ(m_api.NetUserDel(nullptr, u"root"), NERR_UserNotFound);
    EXPECT_EQ(m_api.NetUserDel(nullptr, u"daemon"), NERR_UserNotFound);
    EXPECT_TRUE(filesAreSound());
}

TEST_F(HostNetApiTest, SambasAccountsAreKeptInStep) {
    if (!QFile::exists(QStringLiteral("/usr/sbin/smbd")))
        GTEST_SKIP() << "Samba is not installed";
    auto samba = [](const QString& name) {
        // The account's line of pdbedit's listing: name, uid, flags, NT hash.
        const ProcessResult listing = runProcess(QStringLiteral("/usr/bin/pdbedit"),
                                                 {QStringLiteral("-L"), QStringLiteral("-w")});
        for (const QByteArray& line : listing.output.split('\n'))
            if (line.startsWith(name.toUtf8() + ':'))
                return line;
        return QByteArray();
    };
    ASSERT_EQ(addUser(m_api, "hostIvy"), NERR_Success);
    const QByteArray added = samba("hostIvy");
    ASSERT_FALSE(added.isEmpty());
    EXPECT_TRUE(added.contains("[U ")) << added.constData();
    ASSERT_EQ(
        addUser(m_api, "hostJon", kGoodPassword, {}, {}, UF_DONT_EXPIRE_PASSWD | UF_ACCOUNTDISABLE),
        NERR_Success);
    EXPECT_TRUE(samba("hostJon").contains("[DU")) << samba("hostJon").constData();

    USER_INFO_1 change{};
    const std::u16string password = u"Zt5!pq9Wm2";
    change.usri1_password = const_cast<LPWSTR>(reinterpret_cast<const WCHAR*>(password.c_str()));
    ASSERT_EQ(
        m_api.NetUserSetInfo(nullptr, u"hostIvy", 1, reinterpret_cast<LPBYTE>(&change), nullptr),
        NERR_Success);
    EXPECT_NE(samba("hostIvy"), added) << "the new password's hash";

    ASSERT_EQ(m_api.NetUserDel(nullptr, u"hostIvy"), NERR_Success);
    EXPECT_TRUE(samba("hostIvy").isEmpty());
}

// Where Samba maps a built-in group's SID, that mapping names its Unix group;
// the default table still holds for the names it leaves alone.
TEST_F(HostNetApiTest, SambasGroupMappingNamesTheBuiltinGroups) {
    if (!QFile::exists(QStringLiteral("/usr/sbin/smbd")))
        GTEST_SKIP() << "Samba is not installed";
    ASSERT_EQ(runProcess(QStringLiteral("/usr/sbin/groupadd"), {QStringLiteral("pupils")}).status,
              0);
    ASSERT_EQ(runProcess(QStringLiteral("/usr/bin/net"),
                         {QStringLiteral("groupmap"), QStringLiteral("add"),
                          QStringLiteral("sid=S-1-5-32-545"), QStringLiteral("unixgroup=pupils"),
                          QStringLiteral("type=local"), QStringLiteral("ntgroup=Users")})
                  .status,
              0);
    // The other tests meet the default table again.
    struct Unmap {
        ~Unmap() {
            runProcess(QStringLiteral("/usr/bin/net"),
                       {QStringLiteral("groupmap"), QStringLiteral("delete"),
                        QStringLiteral("sid=S-1-5-32-545")});
        }
    } unmap;
    host::HostNetApi mapped;
    ASSERT_EQ(addUser(mapped, "hostKim"), NERR_Success);
    EXPECT_EQ(addMembers(mapped, {}, "Users", {"hostKim"}), NERR_Success);
    EXPECT_EQ(addMembers(mapped, {}, "Administrators", {"hostKim"}), NERR_Success);
    QStringList groups;
    ASSERT_EQ(userGroups(mapped, "hostKim", groups), NERR_Success);
    EXPECT_TRUE(groups.contains(u"pupils")) << groups.join(u',').toStdString();
    EXPECT_TRUE(groups.contains(u"sudo")) << "Administrators keeps its default";
    EXPECT_FALSE(groups.contains(u"users"));
    QStringList all;
    ASSERT_EQ(localGroups(mapped, {}, all), NERR_Success);
    EXPECT_TRUE(all.contains(u"pupils"));
    EXPECT_TRUE(filesAreSound());
}

// Another administrator's useradd of the name in other letter case, between
// the backend's read of the files and its own useradd: the first one stays.
TEST_F(HostNetApiTest, ACaseVariantMadeMeanwhileKeepsTheFirstOne) {
    QTemporaryDir tools;
    QFile useradd(tools.filePath(QStringLiteral("useradd")));
    ASSERT_TRUE(useradd.open(QIODevice::WriteOnly));
    useradd.write("#!/bin/sh\n/usr/sbin/useradd -M HOSTRACE || exit 1\n"
                  "exec /usr/sbin/useradd \"$@\"\n");
    useradd.close();
    ASSERT_TRUE(useradd.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    host::HostPaths paths;
    paths.tools.prepend(tools.path());
    host::HostNetApi racing(paths);
    EXPECT_EQ(addUser(racing, "hostRace"), NERR_UserExists);
    EXPECT_TRUE(file("passwd").contains("\nHOSTRACE:"));
    EXPECT_FALSE(file("passwd").contains("hostRace:"));
    EXPECT_FALSE(file("group").contains("hostRace:")) << "its private group went with it";
    EXPECT_TRUE(filesAreSound());
}

// Registering homes reads each account's entry as the files are at the
// call, whatever other administrators' tools did since the last listing,
// and keeps what they wrote.
TEST_F(HostNetApiTest, AHomeIsRegisteredOnTheFilesAsTheyAreNow) {
    const auto tool = [](const char* name, const QStringList& arguments) {
        return runProcess(QStringLiteral("/usr/sbin/") + QLatin1StringView(name), arguments).status;
    };
    ASSERT_EQ(addUser(m_api, "hostMo"), NERR_Success);
    listUsers(m_api, QString());

    ASSERT_EQ(tool("useradd", {QStringLiteral("-M"), QStringLiteral("hostLin")}), 0);
    EXPECT_EQ(setHomeDir(m_api, "hostLin", "/srv/homes/hostLin"), NERR_Success);
    EXPECT_TRUE(file("passwd").contains(":/srv/homes/hostLin:"));

    ASSERT_EQ(tool("usermod",
                   {QStringLiteral("-c"), QStringLiteral("set outside"), QStringLiteral("hostMo")}),
              0);
    EXPECT_EQ(setHomeDir(m_api, "hostMo", "/srv/homes/hostMo"), NERR_Success);
    EXPECT_TRUE(file("passwd").contains("hostMo:x:"));
    EXPECT_TRUE(file("passwd").contains(":set outside:/srv/homes/hostMo:"));

    ASSERT_EQ(tool("userdel", {QStringLiteral("hostLin")}), 0);
    EXPECT_EQ(setHomeDir(m_api, "hostLin", "/srv/homes/hostLin"), NERR_UserNotFound);
    ASSERT_EQ(
        tool("useradd", {QStringLiteral("-r"), QStringLiteral("-M"), QStringLiteral("hostSys")}),
        0);
    EXPECT_EQ(setHomeDir(m_api, "hostSys", "/srv/homes/hostSys"), NERR_UserNotFound)
        << "a system account made meanwhile";
    EXPECT_FALSE(file("passwd").contains("/srv/homes/hostSys"));
    EXPECT_EQ(setHomeDir(m_api, "hostMo:x", "/srv/homes/hostMo"), NERR_UserNotFound);
    EXPECT_TRUE(filesAreSound());
}

// Another administrator's userdel between the backend's read of the entry and
// its usermod: the account is not found, as before the read.
TEST_F(HostNetApiTest, AnAccountDeletedMeanwhileIsNotFound) {
    QTemporaryDir tools;
    QFile usermod(tools.filePath(QStringLiteral("usermod")));
    ASSERT_TRUE(usermod.open(QIODevice::WriteOnly));
    usermod.write("#!/bin/sh\n/usr/sbin/userdel hostGone || exit 1\n"
                  "exec /usr/sbin/usermod \"$@\"\n");
    usermod.close();
    ASSERT_TRUE(usermod.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    host::HostPaths paths;
    paths.tools.prepend(tools.path());
    host::HostNetApi racing(paths);
    ASSERT_EQ(addUser(racing, "hostGone"), NERR_Success);
    EXPECT_EQ(setHomeDir(racing, "hostGone", "/srv/homes/hostGone"), NERR_UserNotFound);
    EXPECT_FALSE(file("passwd").contains("hostGone"));
    EXPECT_TRUE(filesAreSound());
}

TEST_F(HostNetApiTest, ListingInSmallBatchesGivesEveryAccountOnce) {
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(addUser(m_api, QStringLiteral("hostF%1").arg(i)), NERR_Success);
    const Listing listing = listUsers(m_api, QString(), 0);
    EXPECT_GE(listing.results.size(), 2u);
    EXPECT_EQ(listing.results.back(), NERR_Success);
    QStringList names;
    for (const User& user : listing.users)
        names << user.name;
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(names.count(QStringLiteral("hostF%1").arg(i)), 1);
    EXPECT_EQ(names.removeDuplicates(), 0);
}

} // namespace
} // namespace orvane::test
