// Samba's folders a rehearsal copies, as testparm reads them from a site's
// smb.conf: its account database's too, wherever smb.conf keeps it, and a
// database in a directory server refused before anything is copied.

#include "platform/rehearsal/HostSite.h"
#include "platform/rehearsal/SiteCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvane::rehearsal {
namespace {

const QString kTestparm = QStringLiteral("/usr/bin/testparm");

QString settingsFile(const QTemporaryDir& temp, const QByteArray& global) {
    const QString path = temp.filePath(QStringLiteral("smb.conf"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("[global]\n" + global);
    return path;
}

TEST(RehearsalSambaFolders, TakeTheAccountDatabaseWhereverSmbConfKeepsIt) {
    if (!QFileInfo::exists(kTestparm))
        GTEST_SKIP() << "testparm (samba-common-bin) is not installed";
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString base = temp.path();
    SiteSettings settings;
    readSambaFolders(settings,
                     settingsFile(temp, "state directory = " + QFile::encodeName(base) +
                                            "/state\npassdb backend = tdbsam:" +
                                            QFile::encodeName(base) + "/accounts/passdb.tdb\n"),
                     kTestparm);
    EXPECT_TRUE(settings.sambaData.contains(base + QStringLiteral("/state")))
        << settings.sambaData.join(u' ').toStdString();
    EXPECT_TRUE(settings.sambaData.contains(base + QStringLiteral("/accounts")))
        << settings.sambaData.join(u' ').toStdString();

    SiteSettings flat;
    readSambaFolders(flat,
                     settingsFile(temp, "passdb backend = smbpasswd\nsmb passwd file = " +
                                            QFile::encodeName(base) + "/flat/smbpasswd\n"),
                     kTestparm);
    EXPECT_TRUE(flat.sambaData.contains(base + QStringLiteral("/flat")))
        << flat.sambaData.join(u' ').toStdString();

    SiteSettings directory;
    EXPECT_THROW(readSambaFolders(directory,
                                  settingsFile(temp, "passdb backend = ldapsam:ldap://ds\n"),
                                  kTestparm),
                 CopyError);
}

} // namespace
} // namespace orvane::rehearsal
