// uses-programs: net
// A domain controller's shares in its copy: handed over from the step that
// reads them, carried into the copy's registry but for the restore's own,
// and new ones taken only where the DC takes them.

#include "platform/Process.h"
#include "platform/rehearsal/DcCopy.h"
#include "platform/rehearsal/SiteCopy.h"
#include "platform/rehearsal/SiteShares.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace orvane::rehearsal {
namespace {

// A restored DC's folder: its smb.conf, with its state in the folder.
QString restoredDc(const QTemporaryDir& dc) {
    EXPECT_TRUE(QDir(dc.path()).mkpath(QStringLiteral("etc")));
    EXPECT_TRUE(QDir(dc.path()).mkpath(QStringLiteral("state")));
    EXPECT_TRUE(QDir(dc.path()).mkpath(QStringLiteral("private")));
    const QString path = dc.filePath(QStringLiteral("etc/smb.conf"));
    QFile conf(path);
    EXPECT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("# Global parameters\n[global]\n\tnetbios name = REHEARSAL\n"
                              "\tstate directory = %1/state\n\tlock directory = %1/state\n"
                              "\tcache directory = %1/state\n\tprivate dir = %1/private\n\n"
                              "[sysvol]\n\tpath = %1/state/sysvol\n\tread only = No\n\n"
                              "  [NetLogon]  \n\tpath = %1/state/sysvol/scripts\n")
                   .arg(dc.path())
                   .toUtf8());
    return path;
}

QString globalSection(const QString& conf) {
    QFile file(conf);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    return text.left(text.indexOf(u"[sysvol]"));
}

TEST(RehearsalSiteShares, TheCopyTakesNewSharesOnlyWhereTheDcDoes) {
    for (const bool takes : {false, true}) {
        QTemporaryDir dc;
        const QString conf = restoredDc(dc);
        const QString command = QStringLiteral("/usr/lib/x y/share-command");
        settleCopyConfig(dc.path(), takes ? command : QString());
        const QString global = globalSection(conf);
        EXPECT_TRUE(global.contains(u"\tregistry shares = yes\n")) << global.toStdString();
        for (const char* operation : {"add", "change", "delete"}) {
            const QString line =
                QStringLiteral("\t%1 share command = \"%2\" %1\n").arg(operation, command);
            EXPECT_EQ(global.contains(line), takes) << global.toStdString();
        }
    }
}

TEST(RehearsalSiteShares, AreHandedOverWholeOrNotAtAll) {
    SiteShares shares;
    shares.takesNewShares = true;
    shares.shares = {{QStringLiteral("学生1"), QStringLiteral("/srv/homes/学生 1"),
                      QStringLiteral("line\none \"quoted\"")},
                     {QStringLiteral("b"), QStringLiteral("/b"), QString()}};
    const SiteShares back = sharesFromText(sharesToText(shares));
    EXPECT_TRUE(back.takesNewShares);
    ASSERT_EQ(back.shares.size(), 2u);
    EXPECT_EQ(back.shares[0].name, shares.shares[0].name);
    EXPECT_EQ(back.shares[0].path, shares.shares[0].path);
    EXPECT_EQ(back.shares[0].remark, shares.shares[0].remark);
    // A step killed while it wrote, or something else in the file.
    const QByteArray text = sharesToText(shares);
    EXPECT_THROW(sharesFromText(text.left(text.size() / 2)), CopyError);
    EXPECT_THROW(sharesFromText("{\"shares\":[]}"), CopyError);
    EXPECT_THROW(sharesFromText(QByteArray()), CopyError);
}

TEST(RehearsalSiteShares, TheRestoresOwnSectionsAreKnownWhateverTheirSpelling) {
    QTemporaryDir dc;
    QFile conf(restoredDc(dc));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    EXPECT_EQ(sectionsOf(conf.readAll()),
              (QStringList{QStringLiteral("global"), QStringLiteral("sysvol"),
                           QStringLiteral("netlogon")}));
}

TEST(RehearsalSiteShares, AreCarriedIntoTheCopysRegistryButTheRestoresOwn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "Samba's registry is root's";
    QTemporaryDir dc;
    const QString conf = restoredDc(dc);
    SiteShares shares;
    shares.shares = {{QStringLiteral("netlogon"), QStringLiteral("/elsewhere"), QString()},
                     {QStringLiteral("rd2"), QStringLiteral("/srv/homes/rd 2"),
                      QStringLiteral("rd2 here before")},
                     {QStringLiteral("bad/name"), QStringLiteral("/x"), QString()},
                     {QStringLiteral("elsewhere"), QStringLiteral("C:\\windows"), QString()}};
    testing::internal::CaptureStderr();
    carrySharesIntoCopy(shares, conf);
    const std::string said = testing::internal::GetCapturedStderr();
    const ProcessResult listed =
        runProcess(QStringLiteral("/usr/bin/net"),
                   {QStringLiteral("-s"), conf, QStringLiteral("conf"), QStringLiteral("list")});
    ASSERT_TRUE(listed.succeeded()) << listed.errors.toStdString();
    EXPECT_EQ(listed.output, "[rd2]\n\tpath = /srv/homes/rd 2\n\tcomment = rd2 here before\n"
                             "\tguest ok = no\n\tread only = no\n\n")
        << listed.output.toStdString();
    // What was left out is said, each with Samba's reason.
    EXPECT_NE(said.find("bad/name is not in the copy"), std::string::npos) << said;
    EXPECT_NE(said.find("elsewhere is not in the copy"), std::string::npos) << said;
    EXPECT_EQ(said.find("netlogon"), std::string::npos) << said;
}

} // namespace
} // namespace orvane::rehearsal
