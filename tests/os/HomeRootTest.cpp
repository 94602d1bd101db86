// Opening the home root without links, judging who could change it, and work
// that stays in the folder opened when its path is swapped meanwhile.
#include "platform/HomeRoot.h"
#include "core/SystemErrors.h"
#include "os/FolderSwapper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvane;
using Standing = HomeRoot::Standing;

namespace {

constexpr uid_t kUser = 4242;
constexpr uid_t kOtherUser = 4343;

class HomeRootTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::umask(022);
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const char* name) const { return dir.path() + u'/' + QLatin1String(name); }
    void folder(const char* name, mode_t mode = 0755, uid_t owner = 0) const {
        const QByteArray native = QFile::encodeName(path(name));
        ASSERT_TRUE(QDir().mkpath(path(name)));
        ASSERT_EQ(::chmod(native.constData(), mode), 0);
        ASSERT_EQ(::chown(native.constData(), owner, owner), 0);
    }
    void file(const char* name) const {
        QFile made(path(name));
        ASSERT_TRUE(made.open(QIODevice::WriteOnly));
    }
    void link(const QString& target, const char* name) const {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(path(name)).constData()),
                  0);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(HomeRootTest, LinksDotsAndMissingFoldersAreNeverOpened) {
    folder("real/homes");
    file("real/homes/file");
    link(path("real"), "via");
    link(path("real/homes"), "homes-link");

    EXPECT_TRUE(HomeRoot::open(path("real/homes")).isTrusted());
    EXPECT_TRUE(HomeRoot::open(path("real/homes") + QStringLiteral("//")).isTrusted());
    for (const QString& linked :
         {path("via/homes"), path("homes-link"), path("homes-link") + u'/'}) {
        const HomeRoot root = HomeRoot::open(linked);
        EXPECT_EQ(root.standing(), Standing::Link) << qPrintable(linked);
        EXPECT_FALSE(root.isOpen());
        EXPECT_FALSE(root.folderExists(QStringLiteral("anything")));
    }
    const struct {
        QString path;
        int error;
    } unreachable[] = {
        {path("missing"), ENOENT},
        {path("real/homes/file"), ENOTDIR},
        {path("real/homes/file/below"), ENOTDIR},
        {QStringLiteral("relative/homes"), EINVAL},
        {QString(), EINVAL},
        {path("real/../real/homes"), EINVAL},
        {path("real/./homes"), EINVAL},
    };
    for (const auto& [where, error] : unreachable) {
        const HomeRoot root = HomeRoot::open(where);
        EXPECT_EQ(root.standing(), Standing::Unreachable) << qPrintable(where);
        EXPECT_EQ(root.error(), error) << qPrintable(where);
        EXPECT_FALSE(root.isOpen());
    }
}

TEST_F(HomeRootTest, TheTopOfTheTreeTakesFoldersButGivesNoneUp) {
    for (const QString& top : {QStringLiteral("/"), QStringLiteral("//")}) {
        const HomeRoot root = HomeRoot::open(top);
        EXPECT_TRUE(root.isTrusted());
        EXPECT_TRUE(root.isTopOfTree());
        EXPECT_TRUE(root.folderExists(QStringLiteral("tmp")));
        // No such folder: a removal that went ahead would report it gone.
        EXPECT_FALSE(root.removeFolderTree(QStringLiteral("orvaneNoSuchHome")));
    }
    EXPECT_FALSE(HomeRoot::open(dir.path()).isTopOfTree());
}

TEST_F(HomeRootTest, AnOrdinaryUserTrustsTheirOwnFoldersAndRoots) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "the other users' folders need root";
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    folder("own/homes", 0755, kUser);
    folder("own", 0700, kUser);
    folder("system/homes");
    folder("theirs/homes", 0755, kOtherUser);

    // Root trusts none of the user's folders.
    EXPECT_EQ(HomeRoot::open(path("own/homes")).standing(), Standing::Tamperable);
    EXPECT_EQ(HomeRoot::open(path("own/homes")).createFolder(QStringLiteral("x")),
              ERROR_ACCESS_DENIED_CODE);
    EXPECT_FALSE(QFileInfo::exists(path("own/homes/x")));

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(kUser) != 0 || ::setuid(kUser) != 0)
            ::_exit(64);
        int failed = 0;
        if (HomeRoot::open(path("own/homes")).standing() != Standing::Trusted)
            failed |= 1;
        if (HomeRoot::open(path("system/homes")).standing() != Standing::Trusted)
            failed |= 2;
        if (HomeRoot::open(path("theirs/homes")).standing() != Standing::Tamperable)
            failed |= 4;
        if (HomeRoot::open(path("own/homes")).createFolder(QStringLiteral("made")) != 0)
            failed |= 8;
        ::_exit(failed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    // 1 own, 2 root's, 4 another user's, 8 making a folder, 64 no setuid.
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(QDir(path("own/homes/made")).exists());
}

TEST_F(HomeRootTest, WorkStaysInTheFolderOpenedWhenItsPathIsSwapped) {
    folder("site/homes/victim");
    file("site/homes/victim/own");
    folder("site/homes/onlyHere");
    folder("elsewhere/homes/victim");
    file("elsewhere/homes/victim/precious");
    folder("elsewhere/homes/onlyThere");
    const HomeRoot root = HomeRoot::open(path("site/homes"));
    ASSERT_TRUE(root.isTrusted());
    ASSERT_TRUE(QDir().rename(path("site"), path("away")));
    link(path("elsewhere"), "site");

    EXPECT_TRUE(root.folderExists(QStringLiteral("onlyHere")));
    EXPECT_FALSE(root.folderExists(QStringLiteral("onlyThere")));
    EXPECT_EQ(root.createFolder(QStringLiteral("made")), 0u);
    EXPECT_TRUE(root.removeFolderTree(QStringLiteral("victim")));

    EXPECT_TRUE(QDir(path("away/homes/made")).exists());
    EXPECT_FALSE(QFileInfo::exists(path("away/homes/victim")));
    EXPECT_FALSE(QFileInfo::exists(path("elsewhere/homes/made")));
    EXPECT_TRUE(QFile::exists(path("elsewhere/homes/victim/precious")));
}

TEST_F(HomeRootTest, ASwapperRacingTheWorkReachesNothingElse) {
    // homes and a link to elsewhere trade names in a loop while the folders
    // of the root that was opened are tested, made and removed.
    constexpr int kFolders = 60;
    const auto name = [](int i) { return QStringLiteral("u%1").arg(i); };
    folder("site/homes");
    folder("elsewhere");
    for (int i = 0; i < kFolders; ++i) {
        for (const char* place : {"site/homes/", "elsewhere/"}) {
            const QByteArray at = place + name(i).toLatin1();
            folder(at.constData());
            file((at + "/file").constData());
        }
    }
    link(path("elsewhere"), "site/homes.link");
    test::FolderSwapper swapper(path("site"), "homes", "homes.link", 0);
    ASSERT_TRUE(swapper.started());
    ASSERT_TRUE(swapper.seenSwapped());
    // The root is opened while it is a folder, which may take a few tries.
    std::optional<HomeRoot> root;
    for (int tries = 0; tries < 10'000 && !(root && root->isTrusted()); ++tries)
        root.emplace(HomeRoot::open(path("site/homes")));
    ASSERT_TRUE(root && root->isTrusted());

    for (int i = 0; i < kFolders; ++i) {
        EXPECT_TRUE(root->folderExists(name(i)));
        EXPECT_TRUE(root->removeFolderTree(name(i)));
        EXPECT_FALSE(root->folderExists(name(i)));
        EXPECT_EQ(root->createFolder(name(i) + QStringLiteral("-new")), 0u);
    }
    EXPECT_TRUE(swapper.stillSwapping());
    swapper.stop();

    for (int i = 0; i < kFolders; ++i) {
        EXPECT_TRUE(QFile::exists(path("elsewhere/") + name(i) + QStringLiteral("/file")));
        EXPECT_FALSE(QFileInfo::exists(path("elsewhere/") + name(i) + QStringLiteral("-new")));
        EXPECT_FALSE(QFileInfo::exists(path("site/homes/") + name(i)));
        EXPECT_TRUE(QDir(path("site/homes/") + name(i) + QStringLiteral("-new")).exists());
    }
}
