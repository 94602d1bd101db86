// Removing a home folder that has other mounts inside: what is mounted stays.
// Runs in a private mount namespace (see PrivateMounts.h); ctest also starts
// it under unshare.
#include "os/PrivateMounts.h"
#include "platform/HomeRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

using namespace orvane;
using orvane::test::ScopedMount;

namespace {

class MountBoundaryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::umask(022);
        const std::string why = test::enterPrivateMountNamespace();
        if (!why.empty())
            GTEST_SKIP() << "no private mount namespace: " << why;
        ASSERT_TRUE(dir.isValid());
    }
    // Off before the temporary folder goes.
    void TearDown() override { unmountAll(); }
    void unmountAll() {
        while (!mounts.empty())
            mounts.pop_back();
    }

    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    bool removeHome() const {
        return HomeRoot::open(path(QStringLiteral("homes"))).removeFolderTree(QStringLiteral("u"));
    }
    void makeFile(const QString& name) const {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path(name)).path()));
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    void mount(ScopedMount made) {
        ASSERT_TRUE(made.mounted()) << made.error();
        mounts.push_back(std::make_unique<ScopedMount>(std::move(made)));
    }
    QStringList entries(const QString& name) const {
        QStringList names =
            QDir(path(name))
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }

    QTemporaryDir dir;
    std::vector<std::unique_ptr<ScopedMount>> mounts;
};

} // namespace

TEST_F(MountBoundaryTest, BindMountsInsideStayWithTheirMountPoints) {
    for (const char* name : {"shared/one", "shared/.two", "shared/sub/three"})
        makeFile(QLatin1String(name));
    for (const char* name : {"homes/u/plain", "homes/u/docs/a", "homes/u/deep/er/x", "homes/u/note",
                             "homes/u/data/hidden-below-the-mount"})
        makeFile(QLatin1String(name));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("homes/u/deep/er/data2"))));
    mount(ScopedMount::bind(path(QStringLiteral("shared")), path(QStringLiteral("homes/u/data"))));
    mount(ScopedMount::bind(path(QStringLiteral("shared/sub")),
                            path(QStringLiteral("homes/u/deep/er/data2"))));
    // A file mounted on a file.
    mount(ScopedMount::bind(path(QStringLiteral("shared/one")),
                            path(QStringLiteral("homes/u/note"))));

    EXPECT_FALSE(removeHome());

    EXPECT_EQ(entries(QStringLiteral("shared")),
              (QStringList{QStringLiteral(".two"), QStringLiteral("one"), QStringLiteral("sub")}));
    EXPECT_EQ(entries(QStringLiteral("shared/sub")), QStringList{QStringLiteral("three")});
    EXPECT_EQ(entries(QStringLiteral("homes/u/data")), entries(QStringLiteral("shared")));
    EXPECT_EQ(entries(QStringLiteral("homes/u/deep/er/data2")),
              QStringList{QStringLiteral("three")});
    // Only the mount points and the folders leading to them are left.
    EXPECT_EQ(
        entries(QStringLiteral("homes/u")),
        (QStringList{QStringLiteral("data"), QStringLiteral("deep"), QStringLiteral("note")}));
    EXPECT_EQ(entries(QStringLiteral("homes/u/deep")), QStringList{QStringLiteral("er")});
    EXPECT_EQ(entries(QStringLiteral("homes/u/deep/er")), QStringList{QStringLiteral("data2")});

    // The folder under the mount was never reached either.
    unmountAll();
    EXPECT_EQ(entries(QStringLiteral("homes/u/data")),
              QStringList{QStringLiteral("hidden-below-the-mount")});
}

TEST_F(MountBoundaryTest, AnotherFileSystemInsideStays) {
    makeFile(QStringLiteral("homes/u/plain"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("homes/u/scratch"))));
    mount(ScopedMount::tmpfs(path(QStringLiteral("homes/u/scratch"))));
    makeFile(QStringLiteral("homes/u/scratch/t1"));
    makeFile(QStringLiteral("homes/u/scratch/dir/t2"));

    EXPECT_FALSE(removeHome());

    EXPECT_EQ(entries(QStringLiteral("homes/u")), QStringList{QStringLiteral("scratch")});
    EXPECT_EQ(entries(QStringLiteral("homes/u/scratch")),
              (QStringList{QStringLiteral("dir"), QStringLiteral("t1")}));
    EXPECT_EQ(entries(QStringLiteral("homes/u/scratch/dir")), QStringList{QStringLiteral("t2")});
}

TEST_F(MountBoundaryTest, AHomeFolderOnItsOwnMountIsEmptied) {
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("homes/u"))));
    mount(ScopedMount::tmpfs(path(QStringLiteral("homes/u"))));
    makeFile(QStringLiteral("homes/u/plain"));
    makeFile(QStringLiteral("homes/u/docs/a"));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("homes/u/bound"))));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("outside"))));
    makeFile(QStringLiteral("outside/kept"));
    mount(
        ScopedMount::bind(path(QStringLiteral("outside")), path(QStringLiteral("homes/u/bound"))));

    // The folder stays as the mount point it is; all on its own mount goes.
    EXPECT_FALSE(removeHome());
    EXPECT_EQ(entries(QStringLiteral("homes/u")), QStringList{QStringLiteral("bound")});
    EXPECT_EQ(entries(QStringLiteral("outside")), QStringList{QStringLiteral("kept")});
}
