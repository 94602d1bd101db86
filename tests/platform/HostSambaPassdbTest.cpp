// uses-programs: useradd pdbedit smbpasswd sh
// Samba's account database changed in this process through Samba's passdb
// library, against what Samba's own tool makes of the same change, over the
// private copy of /etc and Samba's state that tests/support/with-private-etc
// gives this program.

#include "NetApiCalls.h"
#include "PrivateSmbConf.h"

#include "platform/Process.h"
#include "platform/host/SambaAccounts.h"
#include "platform/host/SambaPassdb.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <pwd.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::test {
namespace {

using Outcome = host::SambaPassdb::Outcome;

const QString kSmbConf = QStringLiteral("/etc/samba/smb.conf");
const QString kSmbpasswd = QStringLiteral("/usr/bin/smbpasswd");
// pdbedit -L -w's NT hash of an account without a password.
const QByteArray kNoPassword(32, 'X');

// Whether the change was made; if not, what Samba said.
testing::AssertionResult done(const host::SambaPassdb::Result& result) {
    if (result.outcome == Outcome::Done)
        return testing::AssertionSuccess();
    return testing::AssertionFailure()
           << "outcome " << int(result.outcome) << ": " << result.words.toStdString();
}

// An account as pdbedit -L -w lists it.
struct SambaAccount {
    QByteArray flags, ntHash;
};

class HostSambaPassdbTest : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0)
            GTEST_SKIP() << "needs root over a private /etc (tests/support/with-private-etc)";
        if (!QFile::exists(QStringLiteral("/usr/sbin/smbd")) || !QFile::exists(kSmbpasswd) ||
            !QFile::exists(kSmbConf))
            GTEST_SKIP() << "Samba is not installed";
    }

    static void makeUnixAccounts(const QStringList& names) {
        const ProcessResult made =
            runProcess(QStringLiteral("/bin/sh"),
                       QStringList{QStringLiteral("-c"),
                                   QStringLiteral("for n; do useradd -M \"$n\" || exit 1; done"),
                                   QStringLiteral("sh")} +
                           names,
                       {}, std::chrono::minutes(2));
        ASSERT_TRUE(made.succeeded()) << made.errors.constData();
    }

    static std::map<QByteArray, SambaAccount> sambaAccounts() {
        const ProcessResult listing = runProcess(QStringLiteral("/usr/bin/pdbedit"),
                                                 {QStringLiteral("-L"), QStringLiteral("-w")});
        EXPECT_TRUE(listing.succeeded()) << listing.errors.constData();
        std::map<QByteArray, SambaAccount> accounts;
        for (const QByteArray& line : listing.output.split('\n')) {
            const QList<QByteArray> fields = line.split(':');
            if (fields.size() >= 5)
                accounts[fields[0]] = {fields[4], fields[3]};
        }
        return accounts;
    }
    static std::optional<SambaAccount> samba(const QString& name) {
        const auto accounts = sambaAccounts();
        const auto found = accounts.find(name.toUtf8());
        return found == accounts.end() ? std::nullopt : std::optional(found->second);
    }

    // smbpasswd -L with these options, the password twice on standard input.
    static ProcessResult tool(const QStringList& options, const QString& password = {}) {
        const QByteArray input = password.toUtf8() + '\n' + password.toUtf8() + '\n';
        return runProcess(kSmbpasswd,
                          QStringList{QStringLiteral("-c"), kSmbConf, QStringLiteral("-L"),
                                      QStringLiteral("-s")} +
                              options,
                          input);
    }

    host::SambaPassdb m_passdb{kSmbConf};
};

// The hash Samba signs an SMB client on with, and the account's flags, are
// what smbpasswd makes of the same password: for a password of letters
// beyond ASCII too, which Samba hashes as UTF-16.
TEST_F(HostSambaPassdbTest, AnAccountIsWhatSmbpasswdMakesOfTheSamePassword) {
    const QString passwords[] = {QStringLiteral("Kx7#mWq2vLp9"),
                                 QString::fromUtf8("Pässwört-密码-7x")};
    makeUnixAccounts({"pdIn0", "pdTool0", "pdIn1", "pdTool1"});
    for (int i = 0; i < 2; ++i) {
        const QString ours = QStringLiteral("pdIn%1").arg(i);
        const QString theirs = QStringLiteral("pdTool%1").arg(i);
        const QString& password = passwords[i];
        EXPECT_TRUE(done(m_passdb.add(ours, password, false)));
        ASSERT_TRUE(tool({QStringLiteral("-a"), theirs}, password).succeeded());
        const auto made = samba(ours), expected = samba(theirs);
        ASSERT_TRUE(made && expected) << ours;
        EXPECT_NE(made->ntHash, kNoPassword);
        EXPECT_EQ(made->ntHash, expected->ntHash) << ours;
        EXPECT_EQ(made->flags, expected->flags) << ours;
        EXPECT_EQ(made->flags.simplified(), "[U ]") << made->flags.constData();

        // A new password, both ways.
        const QString next = password + QStringLiteral("!2");
        EXPECT_TRUE(done(m_passdb.setPassword(ours, next)));
        ASSERT_TRUE(tool({theirs}, next).succeeded());
        const auto changed = samba(ours);
        ASSERT_TRUE(changed);
        EXPECT_NE(changed->ntHash, made->ntHash);
        EXPECT_EQ(changed->ntHash, samba(theirs)->ntHash) << ours;
    }
}

// A locked account is added disabled, with its password, as smbpasswd -a
// then -d leave it.
TEST_F(HostSambaPassdbTest, ALockedAccountIsAddedDisabledWithItsPassword) {
    makeUnixAccounts({"pdLocked", "pdLockedTool"});
    const QString password = QStringLiteral("Zt5!pq9Wm2");
    EXPECT_TRUE(done(m_passdb.add(QStringLiteral("pdLocked"), password, true)));
    ASSERT_TRUE(tool({QStringLiteral("-a"), QStringLiteral("pdLockedTool")}, password).succeeded());
    ASSERT_TRUE(tool({QStringLiteral("-d"), QStringLiteral("pdLockedTool")}).succeeded());
    const auto made = samba(QStringLiteral("pdLocked"));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->flags.simplified(), "[DU ]") << made->flags.constData();
    EXPECT_EQ(made->flags, samba(QStringLiteral("pdLockedTool"))->flags);
    EXPECT_EQ(made->ntHash, samba(QStringLiteral("pdLockedTool"))->ntHash);
}

TEST_F(HostSambaPassdbTest, DeletionAndAnAccountSambaDoesNotHold) {
    makeUnixAccounts({"pdGone"});
    ASSERT_TRUE(done(m_passdb.add(QStringLiteral("pdGone"), QStringLiteral("Zt5!pq9Wm2"), false)));
    ASSERT_TRUE(samba(QStringLiteral("pdGone")));
    EXPECT_TRUE(done(m_passdb.remove(QStringLiteral("pdGone"))));
    EXPECT_FALSE(samba(QStringLiteral("pdGone")));
    // Samba's record alone goes (no delete user script is set).
    EXPECT_NE(::getpwnam("pdGone"), nullptr);
    const host::SambaPassdb::Result again = m_passdb.remove(QStringLiteral("pdGone"));
    EXPECT_EQ(again.outcome, Outcome::NoSuchAccount);
    EXPECT_TRUE(again.words.contains(u"Failed to find entry")) << again.words;
    EXPECT_EQ(m_passdb.setPassword(QStringLiteral("pdGone"), QStringLiteral("Zt5!pq9Wm2")).outcome,
              Outcome::NoSuchAccount);
    EXPECT_FALSE(samba(QStringLiteral("pdGone")));
    // The keeper above it counts a deletion of what Samba lacks as done, and
    // a new password for it as a failure.
    host::SambaAccounts accounts(kSmbConf, QStringLiteral("/usr/sbin/smbd"), kSmbpasswd);
    EXPECT_TRUE(accounts.remove(QStringLiteral("pdGone")));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(accounts.setPassword(QStringLiteral("pdGone"), QStringLiteral("Zt5!pq9Wm2")));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("pdGone"), std::string::npos);
}

// Samba takes only accounts that Unix has (no add user script is set): it
// refuses, says so, and writes nothing.
TEST_F(HostSambaPassdbTest, ANameWithoutAUnixAccountIsRefusedAndNothingIsWritten) {
    const auto before = sambaAccounts();
    const host::SambaPassdb::Result result =
        m_passdb.add(QStringLiteral("pdNoUnix"), QStringLiteral("Zt5!pq9Wm2"), false);
    EXPECT_EQ(result.outcome, Outcome::Refused);
    EXPECT_TRUE(result.words.contains(u"Failed to add entry for user pdNoUnix")) << result.words;
    const auto after = sambaAccounts();
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(after.count("pdNoUnix"), 0u);
}

// A database this process cannot change itself is left to smbpasswd, and
// the reason is said once: another backend, or another database than the
// one the process opened.
TEST_F(HostSambaPassdbTest, WhatCannotBeChangedInProcessGoesThroughSmbpasswd) {
    makeUnixAccounts({"pdOpen", "pdFile", "pdFile2", "pdMoved"});
    // The process's database is open from here on.
    ASSERT_TRUE(done(m_passdb.add(QStringLiteral("pdOpen"), QStringLiteral("Zt5!pq9Wm2"), false)));
    QTemporaryDir temp;
    const QString file = temp.filePath(QStringLiteral("smbpasswd"));
    host::SambaAccounts accounts(kSmbConf, QStringLiteral("/usr/sbin/smbd"), kSmbpasswd);
    {
        const SettingsAdded backend("passdb backend = smbpasswd:" + QFile::encodeName(file) + "\n");
        const host::SambaPassdb::Result result =
            m_passdb.add(QStringLiteral("pdFile"), QStringLiteral("Zt5!pq9Wm2"), false);
        EXPECT_EQ(result.outcome, Outcome::Unreachable);
        EXPECT_TRUE(result.words.contains(QStringLiteral("passdb backend = smbpasswd:") + file))
            << result.words;
        testing::internal::CaptureStderr();
        EXPECT_TRUE(accounts.add(QStringLiteral("pdFile"), QStringLiteral("Zt5!pq9Wm2"), false));
        EXPECT_TRUE(accounts.add(QStringLiteral("pdFile2"), QStringLiteral("Zt5!pq9Wm2"), true));
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("through smbpasswd, not in process"), std::string::npos) << said;
        EXPECT_EQ(said.find("not in process"), said.rfind("not in process")) << said;
        QFile written(file);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray text = written.readAll();
        EXPECT_TRUE(text.contains("\npdFile:") || text.startsWith("pdFile:")) << text.constData();
        // The lock as the tool sets it.
        EXPECT_TRUE(text.contains(QByteArray("pdFile2:")) &&
                    text.mid(text.indexOf("pdFile2:")).split('\n').first().contains("[DU"))
            << text.constData();
    }
    EXPECT_FALSE(samba(QStringLiteral("pdFile")));
    {
        const SettingsAdded moved("private dir = " + QFile::encodeName(temp.path()) + "\n");
        const host::SambaPassdb::Result result =
            m_passdb.add(QStringLiteral("pdMoved"), QStringLiteral("Zt5!pq9Wm2"), false);
        EXPECT_EQ(result.outcome, Outcome::Unreachable);
        EXPECT_TRUE(result.words.contains(u"another account database")) << result.words;
    }
    // As configured again, the open database takes changes in process.
    EXPECT_TRUE(done(m_passdb.add(QStringLiteral("pdMoved"), QStringLiteral("Zt5!pq9Wm2"), false)));
    EXPECT_TRUE(samba(QStringLiteral("pdMoved")));
}

// Threads of this process and an outside smbpasswd loop change the database
// at once: the database's own locks keep every change of each.
TEST_F(HostSambaPassdbTest, ThreadsAndAnOutsideSmbpasswdLoopLoseNoChange) {
    constexpr int kThreads = 3, kEach = 12, kOutside = 24;
    QStringList names;
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kEach; ++i)
            names << QStringLiteral("pdT%1x%2").arg(t).arg(i);
    for (int i = 0; i < kOutside; ++i)
        names << QStringLiteral("pdOut%1").arg(i);
    makeUnixAccounts(names);
    const QString password = QStringLiteral("Zt5!pq9Wm2");
    // The outside loop adds its accounts, and deletes every third again.
    std::thread outside([&] {
        const ProcessResult loop = runProcess(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "i=0; while [ $i -lt %1 ]; do "
                 "printf '%2\\n%2\\n' | smbpasswd -L -s -a pdOut$i >/dev/null || exit 1; "
                 "[ $((i % 3)) -ne 0 ] || smbpasswd -L -x pdOut$i >/dev/null || exit 1; "
                 "i=$((i + 1)); done")
                 .arg(kOutside)
                 .arg(password)},
            {}, std::chrono::minutes(2));
        EXPECT_TRUE(loop.succeeded()) << loop.errors.constData();
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            const host::SambaPassdb passdb(kSmbConf);
            for (int i = 0; i < kEach; ++i) {
                const QString name = QStringLiteral("pdT%1x%2").arg(t).arg(i);
                EXPECT_TRUE(done(passdb.add(name, password, i % 4 == 0))) << name;
                if (i % 2 == 1) {
                    EXPECT_TRUE(done(passdb.remove(name))) << name;
                }
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    outside.join();

    const auto accounts = sambaAccounts();
    std::optional<QByteArray> hash;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kEach; ++i) {
            const QByteArray name = QStringLiteral("pdT%1x%2").arg(t).arg(i).toUtf8();
            const auto found = accounts.find(name);
            ASSERT_EQ(found != accounts.end(), i % 2 == 0) << name.constData();
            if (found == accounts.end())
                continue;
            EXPECT_EQ(found->second.flags.contains('D'), i % 4 == 0) << name.constData();
            EXPECT_EQ(found->second.ntHash, hash.value_or(found->second.ntHash));
            hash = found->second.ntHash;
        }
    }
    for (int i = 0; i < kOutside; ++i) {
        const QByteArray name = QStringLiteral("pdOut%1").arg(i).toUtf8();
        EXPECT_EQ(accounts.count(name), i % 3 == 0 ? 0u : 1u) << name.constData();
        if (accounts.count(name)) {
            EXPECT_EQ(accounts.at(name).ntHash, *hash) << name.constData();
        }
    }
}

} // namespace
} // namespace orvane::test
