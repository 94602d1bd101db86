// uses-programs: smbclient (and tests/support/with-host-smbd restart)
// Sharing through this machine's Samba, seen from outside: an SMB client of
// Samba's own signs on over loopback to the smbd that with-host-smbd runs
// beside this program, over the private /etc of with-private-etc.

#include "NetApiCalls.h"
#include "PrivateSmbConf.h"

#include "platform/NTDShare.h"
#include "platform/Process.h"
#include "platform/host/HostNetApi.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane::test {
namespace {

constexpr NET_API_STATUS kTooManyItems = 2121;

struct Client {
    QString account, password;
};

// smbclient against the share, the password in an authentication file in
// `temp` (a command line is anyone's to read).
ProcessResult runSmbclient(const QTemporaryDir& temp, const Client& client, const QString& share,
                           const QString& commands) {
    const QString auth = temp.filePath(QStringLiteral("auth"));
    QFile file(auth);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    file.write("username = " + client.account.toUtf8() +
               "\npassword = " + client.password.toUtf8() + "\n");
    file.close();
    return runProcess(QStringLiteral("/usr/bin/smbclient"),
                      {QStringLiteral("//127.0.0.1/") + share, QStringLiteral("-A"), auth,
                       QStringLiteral("-c"), commands},
                      {}, std::chrono::seconds(30));
}

class HostSharingTest : public testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0 ||
            qEnvironmentVariable("ORVANE_TEST_HOST_SMBD").isEmpty())
            GTEST_SKIP() << "needs root over a private /etc with a smbd of its own "
                            "(tests/support/with-private-etc tests/support/with-host-smbd)";
        if (GetParam() == std::string_view("registry"))
            m_settings.emplace("registry shares = yes\n");
    }

    // A folder of the account's own that no one else may enter.
    QString ownedFolder(const QString& account) {
        const QString path = m_temp.filePath(account);
        EXPECT_TRUE(QDir().mkpath(path));
        const passwd* entry = ::getpwnam(account.toUtf8().constData());
        EXPECT_NE(entry, nullptr) << account;
        if (!entry)
            return path;
        const QByteArray native = QFile::encodeName(path);
        EXPECT_EQ(::chown(native.constData(), entry->pw_uid, entry->pw_gid), 0);
        EXPECT_EQ(::chmod(native.constData(), 0700), 0);
        // The way there must be open to the account.
        ::chmod(QFile::encodeName(m_temp.path()).constData(), 0755);
        return path;
    }

    ProcessResult smbclient(const Client& client, const QString& share, const QString& commands) {
        return runSmbclient(m_temp, client, share, commands);
    }

    static bool restartServer() {
        return runProcess(
                   QStringLiteral(ORVANE_WITH_HOST_SMBD),
                   {QStringLiteral("restart"), qEnvironmentVariable("ORVANE_TEST_HOST_SMBD")}, {},
                   std::chrono::seconds(60))
            .succeeded();
    }

    NET_API_STATUS share(const QString& name, const QString& path) {
        return AddDirShare(m_api, QString(), path, name, name + QStringLiteral("个人主文件夹"));
    }

    std::optional<SettingsAdded> m_settings;
    QTemporaryDir m_temp;
    host::HostNetApi m_api;
};

TEST_P(HostSharingTest, TheOwnerWritesOthersAreKeptOutAndTheShareOutlivesARestart) {
    const std::string mechanism = GetParam();
    const QString owner = QStringLiteral("hs%1Own").arg(mechanism.c_str());
    const QString other = QStringLiteral("hs%1Oth").arg(mechanism.c_str());
    const QString name = QStringLiteral("HS%1Share").arg(mechanism.c_str());
    const Client ownerClient{owner, kGoodPassword};
    const Client otherClient{other, QStringLiteral("Zt5!pq9Wm2")};
    ASSERT_EQ(addUser(m_api, owner, ownerClient.password), NERR_Success);
    ASSERT_EQ(addUser(m_api, other, otherClient.password), NERR_Success);
    const QString folder = ownedFolder(owner);
    ASSERT_EQ(share(name, folder), NERR_Success);

    // Seen at once, with no restart.
    const QString local = m_temp.filePath(QStringLiteral("note.txt"));
    QFile note(local);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("from the owner\n");
    note.close();
    const ProcessResult put =
        smbclient(ownerClient, name, QStringLiteral("put %1 note.txt").arg(local));
    ASSERT_TRUE(put.succeeded()) << put.errors.constData() << put.output.constData();
    struct stat written {};
    ASSERT_EQ(::stat(QFile::encodeName(folder + QStringLiteral("/note.txt")).constData(), &written),
              0);
    EXPECT_EQ(written.st_uid, ::getpwnam(owner.toUtf8().constData())->pw_uid);

    // The folder's mode keeps the other account out, whatever the share grants.
    const ProcessResult peek = smbclient(otherClient, name, QStringLiteral("get note.txt -"));
    EXPECT_FALSE(peek.succeeded());
    EXPECT_FALSE(peek.output.contains("from the owner"));
    EXPECT_TRUE((peek.output + peek.errors).contains("NT_STATUS_ACCESS_DENIED"))
        << peek.output.constData() << peek.errors.constData();

    ASSERT_TRUE(restartServer());
    const ProcessResult again = smbclient(ownerClient, name, QStringLiteral("get note.txt -"));
    EXPECT_TRUE(again.succeeded()) << again.errors.constData();
    EXPECT_TRUE(again.output.contains("from the owner"));
    std::vector<Share> list;
    ASSERT_EQ(shares(m_api, QString(), list), NERR_Success);
    EXPECT_TRUE(std::any_of(list.begin(), list.end(), [&](const Share& s) {
        return s.path == folder && s.name.compare(name, Qt::CaseInsensitive) == 0;
    }));

    // Gone at once too, for a server that had it loaded.
    ASSERT_EQ(delShare(m_api, QString(), name), NERR_Success);
    const ProcessResult gone = smbclient(ownerClient, name, QStringLiteral("ls"));
    EXPECT_FALSE(gone.succeeded());
    EXPECT_TRUE((gone.output + gone.errors).contains("NT_STATUS_BAD_NETWORK_NAME"))
        << gone.output.constData() << gone.errors.constData();
}

INSTANTIATE_TEST_SUITE_P(Mechanisms, HostSharingTest, testing::Values("usershare", "registry"),
                         [](const auto& info) { return std::string(info.param); });

// A site whose configuration takes no more shares is told so, never silently.
TEST(HostSharingLimits, TheLastUsershareAllowedIsTheLastMadeAndTheNextSaysWhy) {
    if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0 ||
        qEnvironmentVariable("ORVANE_TEST_HOST_SMBD").isEmpty())
        GTEST_SKIP() << "needs root over a private /etc with Samba's file server";
    const SettingsAdded limit("usershare max shares = 2\n");
    host::HostNetApi api;
    QTemporaryDir temp;
    std::vector<Share> before;
    ASSERT_EQ(shares(api, QString(), before), NERR_Success);
    QStringList made;
    for (int i = 0; i < 3; ++i) {
        const QString path = temp.filePath(QStringLiteral("f%1").arg(i));
        ASSERT_TRUE(QDir().mkpath(path));
        testing::internal::CaptureStderr();
        const NET_API_STATUS status =
            addShare(api, QString(), QStringLiteral("hsLim%1").arg(i), path);
        const std::string said = testing::internal::GetCapturedStderr();
        if (i < 2) {
            EXPECT_EQ(status, NERR_Success) << said;
            made << QStringLiteral("hsLim%1").arg(i);
        } else {
            EXPECT_EQ(status, kTooManyItems);
            EXPECT_NE(said.find("registry shares = yes"), std::string::npos) << said;
            EXPECT_NE(said.find("usershare max shares"), std::string::npos) << said;
        }
    }
    {
        // With registry shares the same site shares on.
        const SettingsAdded registry("registry shares = yes\n");
        const QString path = temp.filePath(QStringLiteral("f3"));
        ASSERT_TRUE(QDir().mkpath(path));
        EXPECT_EQ(addShare(api, QString(), QStringLiteral("hsLim3"), path), NERR_Success);
        made << QStringLiteral("hsLim3");
        // Either kind is found again by its name, whatever its letter case.
        EXPECT_EQ(addShare(api, QString(), QStringLiteral("HSLIM0"), path), NERR_DuplicateShare);
        for (const QString& name : made)
            EXPECT_EQ(delShare(api, QString(), name.toUpper()), NERR_Success) << name;
    }
    std::vector<Share> after;
    ASSERT_EQ(shares(api, QString(), after), NERR_Success);
    EXPECT_EQ(after.size(), before.size());
}

// Samba keeps an account's name for the account's own home service. A share
// of that name is made only where its owner reaches it as made, and where it
// is not, the site is told what to change.
TEST_P(HostSharingTest, AShareNamedAfterItsAccountIsMadeOnlyWhereTheAccountCanUseIt) {
    const std::string mechanism = GetParam();
    const QString owner = QStringLiteral("hh%1").arg(mechanism.c_str());
    const Client ownerClient{owner, kGoodPassword};
    ASSERT_EQ(addUser(m_api, owner, ownerClient.password), NERR_Success);
    const QString folder = ownedFolder(owner);
    ASSERT_EQ(setHomeDir(m_api, owner, folder), NERR_Success);
    const auto refused = [&](const char* advice) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(share(owner, folder), NERR_DuplicateShare);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(advice), std::string::npos) << said;
    };
    // Debian's smb.conf as installed: usershares, and [homes] read only.
    if (mechanism == "usershare") {
        refused("registry shares = yes");
        refused("read only = no");
        std::vector<Share> list;
        ASSERT_EQ(shares(m_api, QString(), list), NERR_Success);
        EXPECT_TRUE(std::none_of(list.begin(), list.end(), [&](const Share& s) {
            return s.name.compare(owner, Qt::CaseInsensitive) == 0;
        }));
        return;
    }
    refused("read only = no");
    // [homes] writable, but the folder is not the account's home: smbd would
    // serve the account its home instead.
    const SettingsAdded writable("registry shares = yes\n[homes]\nread only = no\n");
    ASSERT_EQ(setHomeDir(m_api, owner, m_temp.path()), NERR_Success);
    refused("register the folder");
    ASSERT_EQ(setHomeDir(m_api, owner, folder), NERR_Success);
    ASSERT_EQ(share(owner, folder), NERR_Success);

    const QString local = m_temp.filePath(QStringLiteral("note.txt"));
    QFile note(local);
    ASSERT_TRUE(note.open(QIODevice::WriteOnly));
    note.write("mine\n");
    note.close();
    for (int round = 0; round < 2; ++round) {
        const QString as = QStringLiteral("n%1.txt").arg(round);
        const ProcessResult put =
            smbclient(ownerClient, owner, QStringLiteral("put %1 %2").arg(local, as));
        EXPECT_TRUE(put.succeeded()) << put.errors.constData() << put.output.constData();
        EXPECT_TRUE(QFile::exists(folder + u'/' + as)) << as;
        if (round == 0) {
            ASSERT_TRUE(restartServer());
        }
    }
    EXPECT_EQ(delShare(m_api, QString(), owner), NERR_Success);
}

// Samba's account database, changed in this process, is the one smbd signs
// clients on with: a new account's password, a new password (the old one
// no longer), and a locked account.
TEST(HostSambaSignOn, ThePasswordsAndLocksSetHereAreTheOnesSmbdChecks) {
    if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0 ||
        qEnvironmentVariable("ORVANE_TEST_HOST_SMBD").isEmpty())
        GTEST_SKIP() << "needs root over a private /etc with Samba's file server";
    host::HostNetApi api;
    QTemporaryDir temp;
    const auto signsOn = [&](const Client& client) {
        return runSmbclient(temp, client, QStringLiteral("IPC$"), QStringLiteral("exit"));
    };
    const auto refusedWith = [](const ProcessResult& result, const char* status) {
        return !result.succeeded() && (result.output + result.errors).contains(status);
    };
    const Client first{QStringLiteral("hsPass"), kGoodPassword};
    ASSERT_EQ(addUser(api, first.account, first.password), NERR_Success);
    const ProcessResult made = signsOn(first);
    EXPECT_TRUE(made.succeeded()) << made.output.constData() << made.errors.constData();

    const Client changed{first.account, QString::fromUtf8("Zt5!pq9Wm2-密码")};
    USER_INFO_1 info{};
    std::u16string password = changed.password.toStdU16String();
    info.usri1_password = password.data();
    ASSERT_EQ(api.NetUserSetInfo(nullptr, u"hsPass", 1, reinterpret_cast<LPBYTE>(&info), nullptr),
              NERR_Success);
    const ProcessResult again = signsOn(changed);
    EXPECT_TRUE(again.succeeded()) << again.output.constData() << again.errors.constData();
    const ProcessResult old = signsOn(first);
    EXPECT_TRUE(refusedWith(old, "NT_STATUS_LOGON_FAILURE"))
        << old.output.constData() << old.errors.constData();

    const Client locked{QStringLiteral("hsLocked"), kGoodPassword};
    ASSERT_EQ(addUser(api, locked.account, locked.password, {}, {},
                      UF_DONT_EXPIRE_PASSWD | UF_ACCOUNTDISABLE),
              NERR_Success);
    const ProcessResult refused = signsOn(locked);
    EXPECT_TRUE(refusedWith(refused, "NT_STATUS_ACCOUNT_DISABLED"))
        << refused.output.constData() << refused.errors.constData();
}

// What Samba would read as something else is refused before it is written.
TEST(HostSharingRules, OnlyFoldersAndTextsSambaTakesAsTheyAreAreShared) {
    if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0 ||
        qEnvironmentVariable("ORVANE_TEST_HOST_SMBD").isEmpty())
        GTEST_SKIP() << "needs root over a private /etc with Samba's file server";
    host::HostNetApi api;
    QTemporaryDir temp;
    const QString file = temp.filePath(QStringLiteral("file"));
    QFile plain(file);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(addShare(api, QString(), QStringLiteral("hsFile"), file), NERR_UnknownDevDir);
    EXPECT_EQ(addShare(api, QString(), QStringLiteral("hsRel"), QStringLiteral("tmp")),
              NERR_UnknownDevDir);
    // smbd would put the connecting account's name in place of %U.
    const QString substituted = temp.filePath(QStringLiteral("a%Ub"));
    ASSERT_TRUE(QDir().mkpath(substituted));
    DWORD parameter = 0;
    EXPECT_EQ(addShare(api, QString(), QStringLiteral("hsSubst"), substituted, &parameter),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parameter, SHARE_PATH_PARMNUM);
    EXPECT_EQ(addShare(api, QString(), QStringLiteral("hs%U"), temp.path()), ERROR_INVALID_NAME);
    EXPECT_EQ(addShare(api, QString(), QStringLiteral("global"), temp.path()), ERROR_INVALID_NAME);
    // smb.conf's own shares are taken names, and only its administrator removes them.
    EXPECT_EQ(addShare(api, QString(), QStringLiteral("PRINT$"), temp.path()), NERR_DuplicateShare);
    testing::internal::CaptureStderr();
    EXPECT_EQ(delShare(api, QString(), QStringLiteral("print$")), ERROR_ACCESS_DENIED);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("never edits"), std::string::npos);
    std::vector<Share> list;
    ASSERT_EQ(shares(api, QString(), list), NERR_Success);
    for (const Share& share : list)
        EXPECT_FALSE(share.name.startsWith(u"hs", Qt::CaseInsensitive)) << share.name;
}

} // namespace
} // namespace orvane::test
