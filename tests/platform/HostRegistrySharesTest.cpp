// uses-programs: net sharesec bash
// Shares written into Samba's registry in this process (libsmbconf), read
// back with Samba's own tools and raced against them, over the private /etc
// of tests/support/with-private-etc (Samba's state in its scratch folder).

#include "platform/Process.h"
#include "platform/host/RegistryShares.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <unistd.h>

namespace orvane::test {
namespace {

using Outcome = host::RegistryShares::Outcome;

const QString kSmbConf = QStringLiteral("/etc/samba/smb.conf");

ProcessResult net(const QStringList& arguments) {
    return runProcess(QStringLiteral("/usr/bin/net"),
                      QStringList{QStringLiteral("-s"), kSmbConf, QStringLiteral("conf")} +
                          arguments);
}

// Samba's registry configuration as `net conf list` prints it: each share's
// lines ("\tkey = value\n") by its name.
std::map<QString, QByteArray> registry() {
    const ProcessResult result = net({QStringLiteral("list")});
    EXPECT_TRUE(result.succeeded()) << result.errors.constData();
    std::map<QString, QByteArray> shares;
    QByteArray* current = nullptr;
    for (const QByteArray& line : result.output.split('\n')) {
        if (line.startsWith('[') && line.endsWith(']'))
            current = &shares[QString::fromUtf8(line.mid(1, line.size() - 2))];
        else if (current && !line.isEmpty())
            *current += line + '\n';
    }
    return shares;
}

// One share's lines, as `net conf showshare NAME` prints them.
QByteArray shown(const QString& name) {
    const ProcessResult result = net({QStringLiteral("showshare"), name});
    EXPECT_TRUE(result.succeeded()) << name.toStdString() << result.output.constData();
    QByteArray text = result.output;
    const QByteArray header = '[' + name.toUtf8() + "]\n";
    EXPECT_TRUE(text.startsWith(header)) << text.constData();
    return text.mid(header.size());
}

class HostRegistrySharesTest : public testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0)
            GTEST_SKIP() << "needs root over a private /etc (tests/support/with-private-etc)";
        ASSERT_TRUE(m_temp.isValid());
    }

    QString folder(const QString& name) {
        const QString path = m_temp.filePath(name);
        EXPECT_TRUE(QDir().mkpath(path));
        return path;
    }

    QTemporaryDir m_temp;
    host::RegistryShares m_registry{kSmbConf};
};

TEST_F(HostRegistrySharesTest, AShareReadsBackAsNetConfAddshareWritesIt) {
    const QString path = folder(QStringLiteral("home of 张三"));
    const QString comment = QStringLiteral("张三的个人主文件夹, with = and spaces ");
    const host::RegistryShares::Result ours =
        m_registry.add(QStringLiteral("rsOurs"), path, comment);
    ASSERT_EQ(ours.outcome, Outcome::Done) << ours.words.toStdString();
    ASSERT_TRUE(net({QStringLiteral("addshare"), QStringLiteral("rsNets"), path,
                     QStringLiteral("writeable=y"), QStringLiteral("guest_ok=n"), comment})
                    .succeeded());
    const QByteArray written = shown(QStringLiteral("rsOurs"));
    EXPECT_EQ(written, shown(QStringLiteral("rsNets")));
    // What those settings are, so that two equal wrong writes cannot pass.
    EXPECT_TRUE(written.contains("\tpath = " + QFile::encodeName(path) + '\n')) << written.data();
    EXPECT_TRUE(written.contains("\tread only = no\n")) << written.data();
    EXPECT_TRUE(written.contains("\tguest ok = no\n")) << written.data();
    EXPECT_TRUE(written.contains("\tcomment = " + comment.toUtf8() + '\n')) << written.data();
    EXPECT_EQ(registry().count(QStringLiteral("rsOurs")), 1u);

    // An empty comment too is written as net writes it.
    ASSERT_EQ(m_registry.add(QStringLiteral("rsBare"), path, QString()).outcome, Outcome::Done);
    ASSERT_TRUE(net({QStringLiteral("addshare"), QStringLiteral("rsBareNet"), path,
                     QStringLiteral("writeable=y"), QStringLiteral("guest_ok=n"), QString()})
                    .succeeded());
    EXPECT_EQ(shown(QStringLiteral("rsBare")), shown(QStringLiteral("rsBareNet")));
}

TEST_F(HostRegistrySharesTest, ATakenNameIsRefusedWhoeverTookItAndNothingIsOverwritten) {
    const QString first = folder(QStringLiteral("first"));
    const QString second = folder(QStringLiteral("second"));
    ASSERT_EQ(m_registry.add(QStringLiteral("rsTwice"), first, QStringLiteral("1")).outcome,
              Outcome::Done);
    EXPECT_EQ(m_registry.add(QStringLiteral("RSTWICE"), second, QStringLiteral("2")).outcome,
              Outcome::Exists);
    ASSERT_TRUE(net({QStringLiteral("addshare"), QStringLiteral("rsByNet"), first,
                     QStringLiteral("writeable=n"), QStringLiteral("guest_ok=n")})
                    .succeeded());
    EXPECT_EQ(m_registry.add(QStringLiteral("rsbynet"), second, QString()).outcome,
              Outcome::Exists);
    EXPECT_TRUE(shown(QStringLiteral("rsTwice")).contains("\tcomment = 1\n"));
    EXPECT_TRUE(shown(QStringLiteral("rsByNet")).contains("\tread only = yes\n"));
    EXPECT_FALSE(shown(QStringLiteral("rsByNet")).contains("second"));
}

TEST_F(HostRegistrySharesTest, WhatNetConfRefusesIsRefusedAndNotWritten) {
    const QString path = folder(QStringLiteral("f"));
    for (const QString& name : {QStringLiteral("rs:colon"), QStringLiteral("rs%U"),
                                QStringLiteral("rs,comma"), QStringLiteral("GLOBAL")}) {
        const host::RegistryShares::Result result = m_registry.add(name, path, QString());
        EXPECT_EQ(result.outcome, Outcome::Refused) << name.toStdString();
        EXPECT_FALSE(result.words.isEmpty());
    }
    EXPECT_EQ(
        m_registry.add(QStringLiteral("rsRelative"), QStringLiteral("tmp/f"), QString()).outcome,
        Outcome::Refused);
    const auto written = registry();
    for (const char* name : {"rs:colon", "rs%U", "rs,comma", "rsRelative"})
        EXPECT_EQ(written.count(QLatin1StringView(name)), 0u) << name;
}

TEST_F(HostRegistrySharesTest, RemovingTakesTheShareAndItsAccessListAsNetConfDelshareDoes) {
    const QString path = folder(QStringLiteral("gone"));
    ASSERT_EQ(m_registry.add(QStringLiteral("rsGone"), path, QString()).outcome, Outcome::Done);
    // sharesec knows registry shares only where smb.conf serves them.
    const QStringList sharesec{QStringLiteral("-s"), kSmbConf,
                               QStringLiteral("--option=registry shares=yes"),
                               QStringLiteral("rsGone")};
    ASSERT_TRUE(runProcess(QStringLiteral("/usr/bin/sharesec"),
                           sharesec + QStringList{QStringLiteral("--add=S-1-1-0:DENIED/0/FULL")})
                    .succeeded());
    const auto accessList = [&] {
        return runProcess(QStringLiteral("/usr/bin/sharesec"),
                          sharesec + QStringList{QStringLiteral("--view")})
            .output;
    };
    ASSERT_TRUE(accessList().contains("DENIED")) << accessList().constData();

    const host::RegistryShares::Result removed = m_registry.remove(QStringLiteral("RSGONE"));
    ASSERT_EQ(removed.outcome, Outcome::Done) << removed.words.toStdString();
    EXPECT_EQ(registry().count(QStringLiteral("rsGone")), 0u);
    // A share made again under that name starts with Samba's default list.
    EXPECT_FALSE(accessList().contains("DENIED")) << accessList().constData();
    EXPECT_EQ(m_registry.remove(QStringLiteral("rsGone")).outcome, Outcome::NoSuchShare);
}

// Two threads of this process claim the same names at once, and a net conf
// loop outside it claims them from the other end: each name is made once,
// whole, by whoever says so.
TEST_F(HostRegistrySharesTest, ThreadsAndNetConfRacingForNamesEachMakeANameOnce) {
    constexpr int kNames = 30;
    const QString path = folder(QStringLiteral("race"));
    ProcessResult outside;
    std::thread loop([&] {
        outside = runProcess(
            QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"),
             QStringLiteral(
                 "for i in $(seq %1 -1 0); do net -s \"$0\" conf addshare rsRace$i "
                 "\"$1\" writeable=y guest_ok=n outside >/dev/null 2>&1 && echo $i; done; :")
                 .arg(kNames - 1),
             kSmbConf, path},
            {}, std::chrono::minutes(5));
    });
    std::vector<Outcome> results[2];
    std::thread threads[2];
    for (int t = 0; t < 2; ++t)
        threads[t] = std::thread([&, t] {
            for (int i = 0; i < kNames; ++i) {
                // Each step waits for the net run of about the same moment.
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
                results[t].push_back(m_registry
                                         .add(QStringLiteral("rsRace%1").arg(i), path,
                                              QStringLiteral("thread %1").arg(t))
                                         .outcome);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    loop.join();
    ASSERT_EQ(outside.status, 0) << outside.errors.constData();

    // The names net conf says it made.
    const QList<QByteArray> madeOutside = outside.output.split('\n');
    const auto written = registry();
    int ours = 0;
    int theirs = 0;
    for (int i = 0; i < kNames; ++i) {
        const QString name = QStringLiteral("rsRace%1").arg(i);
        const auto found = std::count_if(written.begin(), written.end(), [&](const auto& share) {
            return share.first.compare(name, Qt::CaseInsensitive) == 0;
        });
        ASSERT_EQ(found, 1) << name.toStdString();
        const QByteArray settings = written.at(name);
        int madeHere = 0;
        for (int t = 0; t < 2; ++t) {
            ASSERT_TRUE(results[t][i] == Outcome::Done || results[t][i] == Outcome::Exists);
            // Made by this thread exactly when it said so.
            EXPECT_EQ(results[t][i] == Outcome::Done,
                      settings.contains("\tcomment = thread " + QByteArray::number(t) + '\n'))
                << name.toStdString() << settings.constData();
            madeHere += results[t][i] == Outcome::Done;
        }
        const bool madeThere = madeOutside.contains(QByteArray::number(i));
        EXPECT_EQ(madeThere, settings.contains("\tcomment = outside\n")) << settings.constData();
        // One claim won, whoever made it.
        EXPECT_EQ(madeHere + int(madeThere), 1) << name.toStdString();
        ours += madeHere;
        theirs += madeThere;
        // Whole, whoever made it.
        EXPECT_TRUE(settings.startsWith("\tpath = " + QFile::encodeName(path) + '\n'))
            << settings.constData();
        EXPECT_TRUE(settings.endsWith("\tguest ok = no\n\tread only = no\n"))
            << settings.constData();
    }
    // The claims met: each side made some.
    EXPECT_GT(ours, 0);
    EXPECT_GT(theirs, 0);
}

TEST_F(HostRegistrySharesTest, AConfigurationSambaCannotLoadIsSaidAndNothingIsWritten) {
    const host::RegistryShares elsewhere(m_temp.filePath(QStringLiteral("missing.conf")));
    const host::RegistryShares::Result result =
        elsewhere.add(QStringLiteral("rsNowhere"), folder(QStringLiteral("n")), QString());
    EXPECT_EQ(result.outcome, Outcome::Unreachable);
    EXPECT_TRUE(result.words.contains(u"missing.conf")) << result.words.toStdString();
    EXPECT_EQ(registry().count(QStringLiteral("rsNowhere")), 0u);
}

} // namespace
} // namespace orvane::test
