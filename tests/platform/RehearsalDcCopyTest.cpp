// uses-programs: sh sleep
// The parts of a domain controller's copy that are this machine's doing:
// whether a server answered as a DC itself, the restored DC's settings, and
// its server in namespaces of its own (root only).

#include "platform/rehearsal/DcCopy.h"
#include "platform/rehearsal/DomainController.h"
#include "platform/rehearsal/SiteCopy.h"
#include "platform/rehearsal/Supervisor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <unistd.h>

namespace orvane::rehearsal {
namespace {

// What net ads info -S 127.0.0.1 answers on the test DC.
const char* const kDcAnswer = "LDAP server: 127.0.0.1\n"
                              "LDAP server name: OrvaneDC.orvane.test\n"
                              "Realm: orvane.TEST\n"
                              "Bind Path: dc=ORVANE,dc=TEST\n"
                              "LDAP port: 389\n"
                              "KDC server: 127.0.0.1\n";

TEST(RehearsalDomainController, TakesTheRealmAndNameOnlyFromTheServerItself) {
    const auto dc = parseAdsInfo(QString::fromLatin1(kDcAnswer), {QStringLiteral("127.0.0.1")});
    ASSERT_TRUE(dc);
    EXPECT_EQ(dc->realm, u"ORVANE.TEST");
    EXPECT_EQ(dc->dnsName, u"orvanedc.orvane.test");
    EXPECT_EQ(copyHostName(*dc), u"rehearsal.orvane.test");
    // A member server's client answered with its domain's DC instead.
    EXPECT_FALSE(parseAdsInfo(QString::fromLatin1(kDcAnswer),
                              {QStringLiteral("192.0.2.7"), QStringLiteral("::1")}));
    // No answer, or one without a realm.
    EXPECT_FALSE(parseAdsInfo(QString(), {QStringLiteral("127.0.0.1")}));
    EXPECT_FALSE(parseAdsInfo(QStringLiteral("LDAP server: 127.0.0.1\n"
                                             "LDAP server name: dc.example.com\n"),
                              {QStringLiteral("127.0.0.1")}));
}

TEST(RehearsalDomainController, CopyNameIsAValidNetbiosName) {
    const QString name = copyServerName();
    EXPECT_LE(name.size(), 15);
    for (const QChar c : name)
        EXPECT_TRUE(c.isLetterOrNumber() || c == u'-') << name.toStdString();
}

TEST(RehearsalDcCopy, SettlesTheRestoredConfigInItsGlobalSection) {
    QTemporaryDir dc;
    ASSERT_TRUE(QDir(dc.path()).mkdir(QStringLiteral("etc")));
    QFile conf(dc.filePath(QStringLiteral("etc/smb.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("# Global parameters\n[global]\n\tnetbios name = REHEARSAL\n"
               "\tserver role = active directory domain controller\n\n"
               "[sysvol]\n\tpath = /x/state/sysvol\n\tread only = No\n");
    conf.close();
    const QString log = settleCopyConfig(dc.path(), QString());
    EXPECT_EQ(log, dc.filePath(QStringLiteral("log/samba.log")));
    EXPECT_TRUE(QFileInfo(dc.filePath(QStringLiteral("run"))).isDir());
    EXPECT_TRUE(QFileInfo(dc.filePath(QStringLiteral("log"))).isDir());
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(conf.readAll());
    const qsizetype shares = text.indexOf(u"[sysvol]");
    for (const QString& setting :
         {QStringLiteral("\tinterfaces = lo\n"), QStringLiteral("\tbind interfaces only = yes\n"),
          QStringLiteral("\tserver services = -dnsupdate\n"),
          QStringLiteral("\tpid directory = %1/run\n").arg(dc.path()),
          QStringLiteral("\tlog file = %1\n").arg(log)}) {
        const qsizetype at = text.indexOf(setting);
        EXPECT_GT(at, text.indexOf(u"[global]")) << setting.toStdString();
        EXPECT_LT(at, shares) << setting.toStdString() << " is not a global setting";
    }
    EXPECT_TRUE(text.contains(u"[sysvol]\n\tpath = /x/state/sysvol\n\tread only = No\n"));
}

TEST(RehearsalDcCopy, RefusesAConfigWithoutAGlobalSection) {
    QTemporaryDir dc;
    ASSERT_TRUE(QDir(dc.path()).mkdir(QStringLiteral("etc")));
    QFile conf(dc.filePath(QStringLiteral("etc/smb.conf")));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("[sysvol]\n\tpath = /x\n");
    conf.close();
    EXPECT_THROW(settleCopyConfig(dc.path(), QString()), CopyError);
}

// Processes whose command line holds the marker.
int processesWith(const QByteArray& marker) {
    int found = 0;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(entry));
        if (entry.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().contains(marker))
            ++found;
    }
    return found;
}

TEST(RehearsalServerInOwnPids, RunsInItsOwnNamespacesOnEmptyFoldersAndGoesWithItsOwner) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "namespaces take root";
    QTemporaryDir scratch, state;
    QFile kept(state.filePath(QStringLiteral("kept")));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();
    const QString report = scratch.filePath(QStringLiteral("report"));
    // Its PID, the files it sees in the emptied folder, then a long sleep.
    const QByteArray marker = "1000.4242";
    {
        ServerInOwnPids server(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"),
             QStringLiteral("{ echo $$; ls -A '%1' | wc -l; } > '%2.part' && mv '%2.part' '%2' && "
                            "exec sleep %3")
                 .arg(state.path(), report, QString::fromLatin1(marker))},
            {QStringLiteral("PATH=/usr/bin:/bin")}, {state.path()});
        for (int i = 0; i < 100 && !QFile::exists(report); ++i)
            QThread::msleep(50);
        QFile answer(report);
        ASSERT_TRUE(answer.open(QIODevice::ReadOnly));
        // PID 2: the program under its own init, in a PID namespace of its own.
        EXPECT_EQ(answer.readAll(), "2\n0\n");
        EXPECT_TRUE(server.running());
        EXPECT_EQ(processesWith(marker), 1);
    }
    // Gone with the object, its whole namespace with it; the folder emptied
    // only in its own mount namespace.
    EXPECT_EQ(processesWith(marker), 0);
    EXPECT_TRUE(QFile::exists(kept.fileName()));
}

} // namespace
} // namespace orvane::rehearsal
