// The parts a rehearsal's copy of the site is made from: the mount table as
// the kernel writes it, the choice of folders, and the copy's overlays and
// read-only rest in a child process of the test's own (root only).

#include "platform/rehearsal/HostSite.h"
#include "platform/rehearsal/MountTable.h"
#include "platform/rehearsal/SiteCopy.h"

#include "InChild.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::rehearsal {
namespace {

TEST(RehearsalMountTable, ReadsTargetsTypesAndReadOnlyAsTheKernelWritesThem) {
    const QByteArray text = "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
                            "30 22 0:5 / /proc rw,nosuid master:3 - proc proc rw\n"
                            "41 22 8:2 / /srv/home\\040root\\134x ro,relatime - xfs /dev/vdb rw\n"
                            "42 22 0:40 / /mnt/a rw - fuse.sshfs host: rw\n"
                            "not a mount line\n"
                            "43 22 0:41 / /short\n";
    const std::vector<Mount> mounts = parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 4u);
    EXPECT_EQ(mounts[0].target, QStringLiteral("/"));
    EXPECT_EQ(mounts[0].type, QStringLiteral("ext4"));
    EXPECT_FALSE(mounts[0].readOnly);
    EXPECT_EQ(mounts[1].type, QStringLiteral("proc"));
    EXPECT_EQ(mounts[2].target, QStringLiteral("/srv/home root\\x"));
    EXPECT_TRUE(mounts[2].readOnly);
    EXPECT_EQ(mounts[3].type, QStringLiteral("fuse.sshfs"));

    for (const char* stored : {"ext4", "xfs", "btrfs", "nfs4", "overlay", "fuse.sshfs", "cifs"})
        EXPECT_TRUE(holdsStoredFiles(QLatin1StringView(stored))) << stored;
    for (const char* view : {"proc", "sysfs", "tmpfs", "devpts", "devtmpfs", "cgroup2", "mqueue"})
        EXPECT_FALSE(holdsStoredFiles(QLatin1StringView(view))) << view;
    // This process's own table has a root.
    const std::vector<Mount> own = currentMounts();
    EXPECT_TRUE(
        std::any_of(own.begin(), own.end(), [](const Mount& m) { return m.target == u"/"; }));
}

TEST(RehearsalHostSite, CopiesEachFolderOnceAndOrvanesOwnThroughTheirNearestParent) {
    QTemporaryDir temp;
    const QString base = QDir(temp.path()).canonicalPath();
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/samba/private")));
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/homes")));
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/run/samba")));
    ASSERT_TRUE(QDir().mkpath(base + QStringLiteral("/state")));
    SiteSettings settings;
    // Not made yet: copied through the folder that would hold it.
    settings.machineFolder = base + QStringLiteral("/state/orvane");
    settings.homeRoot = base + QStringLiteral("/homes/");
    settings.sambaData = {base + QStringLiteral("/samba"), base + QStringLiteral("/samba/private"),
                          base + QStringLiteral("/samba/usershares")};
    settings.sambaRunTime = {base + QStringLiteral("/run/samba"),
                             base + QStringLiteral("/run/samba"),
                             base + QStringLiteral("/run/none")};
    const SiteFolders site = hostSiteFolders(settings);

    EXPECT_TRUE(site.overlaid.contains(QStringLiteral("/etc")));
    EXPECT_TRUE(site.overlaid.contains(base + QStringLiteral("/samba")));
    // Inside a copied folder, or not there at all: nothing of its own.
    EXPECT_FALSE(site.overlaid.contains(base + QStringLiteral("/samba/private")));
    EXPECT_FALSE(site.overlaid.contains(base + QStringLiteral("/samba/usershares")));
    EXPECT_TRUE(site.overlaid.contains(base + QStringLiteral("/state")));
    EXPECT_TRUE(site.overlaid.contains(base + QStringLiteral("/homes")));
    EXPECT_FALSE(site.overlaid.contains(base));
    EXPECT_FALSE(site.overlaid.contains(QStringLiteral("/")));
    EXPECT_EQ(site.emptied, QStringList{base + QStringLiteral("/run/samba")});

    // A missing folder climbs no higher than needed, and a folder that then
    // holds the others is the one copy of them all.
    SiteSettings apart;
    apart.homeRoot = base + QStringLiteral("/homes");
    apart.machineFolder = base + QStringLiteral("/samba/private/orvane/deeper");
    EXPECT_TRUE(hostSiteFolders(apart).overlaid.contains(base + QStringLiteral("/samba/private")));
    apart.machineFolder = base + QStringLiteral("/missing/orvane");
    const QStringList holder = hostSiteFolders(apart).overlaid;
    EXPECT_TRUE(holder.contains(base));
    EXPECT_FALSE(holder.contains(base + QStringLiteral("/homes")));
}

TEST(RehearsalSiteCopy, ChangesStayInTheCopyWhichKeepsOwnersAndModesAndTheRestIsReadOnly) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mount namespaces and overlays need root";
    // On the disk, as a site's folders are, not in memory.
    QTemporaryDir temp(QDir::currentPath() + QStringLiteral("/rehearsal.XXXXXX"));
    ASSERT_TRUE(temp.isValid());
    const QString site = temp.filePath(QStringLiteral("site"));
    const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
    const QString kept = temp.filePath(QStringLiteral("kept"));
    for (const QString& folder : {site, elsewhere, kept})
        ASSERT_TRUE(QDir().mkpath(folder));
    QFile before(site + QStringLiteral("/passwd"));
    ASSERT_TRUE(before.open(QIODevice::WriteOnly));
    before.write("real\n");
    before.close();
    const QByteArray native = QFile::encodeName(site);
    ASSERT_EQ(::chown(native.constData(), 0, 4242), 0);
    ASSERT_EQ(::chmod(native.constData(), 01770), 0);

    const int status = inChild([&] {
        SiteCopy copy;
        copy.keepWritable({kept});
        copy.makeTheRestReadOnly();
        copy.overlay(site);
        struct stat top {};
        if (::stat(native.constData(), &top) != 0 || top.st_gid != 4242 ||
            (top.st_mode & 07777) != 01770)
            return 1;
        QFile changed(site + QStringLiteral("/passwd"));
        if (!changed.open(QIODevice::WriteOnly | QIODevice::Append) || changed.write("copy\n") != 5)
            return 2;
        changed.close();
        if (!QDir().mkpath(site + QStringLiteral("/new/folder")))
            return 3;
        // Elsewhere on the same disk nothing can be written...
        if (QFile(elsewhere + QStringLiteral("/x")).open(QIODevice::WriteOnly))
            return 4;
        // ...but in a folder kept writable, as /tmp is.
        QFile scratch(kept + QStringLiteral("/x"));
        if (!scratch.open(QIODevice::WriteOnly))
            return 5;
        scratch.remove();
        QFile reread(site + QStringLiteral("/passwd"));
        return reread.open(QIODevice::ReadOnly) && reread.readAll() == "real\ncopy\n" ? 0 : 6;
    });
    EXPECT_EQ(status, 0);

    QFile after(site + QStringLiteral("/passwd"));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), QByteArray("real\n"));
    EXPECT_FALSE(QFileInfo::exists(site + QStringLiteral("/new")));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    // No mount of the child's is seen here.
    for (const Mount& mount : currentMounts())
        EXPECT_FALSE(mount.target.startsWith(temp.path())) << mount.target.toStdString();
}

} // namespace
} // namespace orvane::rehearsal
