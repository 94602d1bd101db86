// A folder chosen in the window while it runs in a rehearsal's copy (a new
// home root) is laid over in that copy only, once, and never where the
// marker does not name the namespace the process is in (root only).

#include "platform/rehearsal/ChosenFolder.h"
#include "platform/rehearsal/MountTable.h"
#include "platform/rehearsal/SiteCopy.h"

#include "InChild.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::rehearsal {
namespace {

long mountsOn(const QString& folder) {
    const std::vector<Mount> mounts = currentMounts();
    return std::count_if(mounts.begin(), mounts.end(),
                         [&](const Mount& m) { return m.target == folder; });
}

bool writes(const QString& file) {
    QFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write("x") == 1;
}

void mark(const QString& marker) {
    const qsizetype equals = marker.indexOf(u'=');
    qputenv(marker.left(equals).toLatin1(), marker.mid(equals + 1).toLatin1());
}

TEST(RehearsalChosenFolder, IsLaidOverOnceInTheMarkedCopyAndNowhereElse) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "mount namespaces and overlays need root";
    // On the disk, which the copy makes read-only.
    QTemporaryDir temp(QDir::currentPath() + QStringLiteral("/chosen.XXXXXX"));
    ASSERT_TRUE(temp.isValid());
    const QString chosen = QDir(temp.filePath(QStringLiteral("homes"))).absolutePath();
    ASSERT_TRUE(QDir().mkpath(chosen + QStringLiteral("/inner")));
    const QString mounted = chosen + QStringLiteral("/mounted");
    ASSERT_TRUE(QDir().mkpath(mounted));

    // The marked copy: the folder takes changes, once laid over, and what
    // was mounted below it stays; a second choice of it, or of a folder
    // inside it, lays nothing more.
    EXPECT_EQ(inChild([&] {
                  SiteCopy copy;
                  if (::mount("tmpfs", QFile::encodeName(mounted).constData(), "tmpfs", 0,
                              nullptr) != 0 ||
                      !writes(mounted + QStringLiteral("/kept")))
                      return 10;
                  copy.makeTheRestReadOnly();
                  if (writes(chosen + QStringLiteral("/before")))
                      return 1;
                  mark(copyMarker());
                  const long layers = mountsOn(chosen);
                  takeIntoCopy(chosen);
                  if (mountsOn(chosen) != layers + 2) // the scratch layer and the overlay
                      return 2;
                  if (!writes(chosen + QStringLiteral("/made")) ||
                      !QDir().mkpath(chosen + QStringLiteral("/inner/deeper")) ||
                      !QFile::exists(mounted + QStringLiteral("/kept")))
                      return 3;
                  takeIntoCopy(chosen);
                  takeIntoCopy(chosen + QStringLiteral("/inner"));
                  takeIntoCopy(QStringLiteral("/"));
                  return mountsOn(chosen) == layers + 2 &&
                                 mountsOn(chosen + QStringLiteral("/inner")) == 0 &&
                                 QFile::exists(chosen + QStringLiteral("/inner/deeper"))
                             ? 0
                             : 4;
              }),
              0);

    // A namespace the marker does not name (here the one it was made in,
    // left for a new one): nothing is laid.
    EXPECT_EQ(inChild([&] {
                  mark(copyMarker());
                  SiteCopy copy;
                  takeIntoCopy(chosen);
                  return mountsOn(chosen) == 0 ? 0 : 1;
              }),
              0);

    EXPECT_FALSE(QFile::exists(chosen + QStringLiteral("/made")));
    EXPECT_FALSE(QFile::exists(chosen + QStringLiteral("/inner/deeper")));
    for (const Mount& mount : currentMounts())
        EXPECT_FALSE(mount.target.startsWith(temp.path())) << mount.target.toStdString();
}

} // namespace
} // namespace orvane::rehearsal
