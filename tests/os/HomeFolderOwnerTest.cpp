// New home folders given to their accounts: owner, mode, the skeleton, and
// nothing outside the new folder ever changing owner, whatever is planted or
// swapped under the home root.
#include "platform/HomeFolderOwner.h"
#include "core/SystemErrors.h"
#include "platform/FolderAt.h"
#include "platform/HomeRoot.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;

namespace {

// An account every machine of this kind resolves; only folders in the
// temporary folder are given to it.
constexpr const char* kAccount = "nobody";

class HomeFolderOwnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "giving folders away needs root";
        ::umask(022);
        ASSERT_TRUE(dir.isValid());
        const passwd* account = ::getpwnam(kAccount);
        ASSERT_NE(account, nullptr);
        uid = account->pw_uid;
        gid = account->pw_gid;
        for (const char* folder : {"etc/skel", "etc/default", "homes", "outside"})
            ASSERT_TRUE(QDir().mkpath(path(folder)));
        write("outside/secret", "kept");
        // The temporary folder is the machine useradd reads (its --prefix).
        write("etc/default/useradd", "SKEL=/etc/skel\n");
    }
    QString path(const QString& name) const { return dir.path() + u'/' + name; }
    QByteArray native(const QString& name) const { return QFile::encodeName(path(name)); }
    void write(const QString& name, const QByteArray& text, mode_t mode = 0644) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        ASSERT_EQ(::chmod(native(name).constData(), mode), 0);
    }
    void link(const char* target, const QString& name) const {
        ASSERT_EQ(::symlink(target, native(name).constData()), 0);
    }
    struct stat lstatOf(const QString& name) const {
        struct stat st {};
        EXPECT_EQ(::lstat(native(name).constData(), &st), 0) << qPrintable(name);
        return st;
    }
    std::optional<HomeFolderOwner> owner(NewHomeFolders how = NewHomeFolders::ToLocalAccount,
                                         const char* account = kAccount) const {
        return HomeFolderOwners(how, dir.path()).of(QString::fromUtf8(account));
    }
    // Every entry of the temporary folder outside the given ones (relative)
    // that is not root's.
    std::string givenOutside(const QStringList& insides = {}) const {
        QStringList given;
        QDirIterator it(dir.path(),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString entry = QDir(dir.path()).relativeFilePath(it.next());
            if (std::any_of(insides.begin(), insides.end(), [&](const QString& inside) {
                    return entry == inside || entry.startsWith(inside + u'/');
                }))
                continue;
            const struct stat st = lstatOf(entry);
            if (st.st_uid != 0 || st.st_gid != 0)
                given << entry;
        }
        return given.join(QStringLiteral(", ")).toStdString();
    }

    QTemporaryDir dir;
    uid_t uid = 0;
    gid_t gid = 0;
};

} // namespace

TEST_F(HomeFolderOwnerTest, TheFolderIsTheAccountsWithTheMachinesHomeMode) {
    const HomeRoot home = HomeRoot::open(path(QStringLiteral("homes")));
    const struct {
        const char* loginDefs; // null: no file
        mode_t mode;
    } policies[] = {
        {"UMASK 022\nHOME_MODE\t0750\n", 0750},
        {"UMASK 022\n#HOME_MODE 0755\n", 0700},
        {nullptr, 0700},
    };
    int i = 0;
    for (const auto& policy : policies) {
        QFile::remove(path(QStringLiteral("etc/login.defs")));
        if (policy.loginDefs)
            write(QStringLiteral("etc/login.defs"), policy.loginDefs);
        const QString name = QStringLiteral("home%1").arg(i++);
        const auto given = owner(NewHomeFolders::ToResolvedAccount);
        ASSERT_TRUE(given.has_value());
        EXPECT_TRUE(given->skeleton.isEmpty());
        EXPECT_EQ(home.createFolder(name, given), 0u);
        const struct stat st = lstatOf(QStringLiteral("homes/") + name);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_uid, uid);
        EXPECT_EQ(st.st_gid, gid);
        EXPECT_EQ(st.st_mode & 07777, policy.mode) << (policy.loginDefs ? policy.loginDefs : "");
    }
    EXPECT_EQ(givenOutside({QStringLiteral("homes/home0"), QStringLiteral("homes/home1"),
                            QStringLiteral("homes/home2")}),
              "")
        << "only the new folders are given";
}

TEST_F(HomeFolderOwnerTest, TheSkeletonIsCopiedWithLinksAsLinks) {
    write(QStringLiteral("etc/skel/.profile"), "PATH=/bin\n", 0644);
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("etc/skel/.config/app"))));
    ASSERT_EQ(::chmod(native(QStringLiteral("etc/skel/.config")).constData(), 0750), 0);
    write(QStringLiteral("etc/skel/.config/app/rc"), "x=1\n", 04600);
    link(".config/app/rc", QStringLiteral("etc/skel/rc-link"));
    link("/etc/shadow", QStringLiteral("etc/skel/shadow"));
    ASSERT_EQ(::mkfifo(native(QStringLiteral("etc/skel/fifo")).constData(), 0644), 0);
    struct stat shadow;
    ASSERT_EQ(::lstat("/etc/shadow", &shadow), 0);

    const HomeRoot home = HomeRoot::open(path(QStringLiteral("homes")));
    ASSERT_EQ(home.createFolder(QString::fromUtf8(kAccount), owner()), 0u);

    const QString made = QStringLiteral("homes/") + QString::fromUtf8(kAccount);
    const struct {
        const char* entry;
        mode_t type;
        mode_t mode; // 0: a link's
    } copied[] = {
        {"", S_IFDIR, 0700},
        {"/.profile", S_IFREG, 0644},
        {"/.config", S_IFDIR, 0750},
        {"/.config/app", S_IFDIR, 0755},
        {"/.config/app/rc", S_IFREG, 0600}, // no set-user-ID bit for the account
        {"/rc-link", S_IFLNK, 0},
        {"/shadow", S_IFLNK, 0},
    };
    for (const auto& entry : copied) {
        const struct stat st = lstatOf(made + QLatin1String(entry.entry));
        EXPECT_EQ(st.st_mode & S_IFMT, entry.type) << entry.entry;
        EXPECT_EQ(st.st_uid, uid) << entry.entry;
        EXPECT_EQ(st.st_gid, gid) << entry.entry;
        if (entry.mode) {
            EXPECT_EQ(st.st_mode & 07777, entry.mode) << entry.entry;
        }
    }
    QFile profile(path(made + QStringLiteral("/.profile")));
    ASSERT_TRUE(profile.open(QIODevice::ReadOnly));
    EXPECT_EQ(profile.readAll(), "PATH=/bin\n");
    EXPECT_EQ(QFile::symLinkTarget(path(made + QStringLiteral("/rc-link"))),
              path(made + QStringLiteral("/.config/app/rc")));
    char target[64] = {};
    EXPECT_GT(
        ::readlink(native(made + QStringLiteral("/shadow")).constData(), target, sizeof target - 1),
        0);
    EXPECT_STREQ(target, "/etc/shadow");
    EXPECT_FALSE(QFile::exists(path(made + QStringLiteral("/fifo"))));

    struct stat after;
    ASSERT_EQ(::lstat("/etc/shadow", &after), 0);
    EXPECT_EQ(after.st_uid, shadow.st_uid);
    EXPECT_EQ(after.st_gid, shadow.st_gid);
    EXPECT_EQ(after.st_mode, shadow.st_mode);
    EXPECT_EQ(givenOutside({made}), "");
}

TEST_F(HomeFolderOwnerTest, TheSkeletonIsTheOneUseraddIsSetTo) {
    write(QStringLiteral("etc/skel/.profile"), "from the default skeleton\n");
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("site/skel"))));
    write(QStringLiteral("site/skel/.site-profile"), "from the site's\n");
    const HomeRoot home = HomeRoot::open(path(QStringLiteral("homes")));
    const struct {
        const char* defaults;
        const char* copied;
        const char* left;
    } sites[] = {
        {"# SKEL=/etc/skel\nSKEL=/site/skel\nSHELL=/bin/sh\n", ".site-profile", ".profile"},
        {"SKEL=/site/skel\n#SKEL=/etc/skel\n", ".site-profile", ".profile"},
        {"SKEL=/site/skel\nSKEL=/etc/skel\n", ".profile", ".site-profile"},
    };
    int i = 0;
    for (const auto& site : sites) {
        write(QStringLiteral("etc/default/useradd"), site.defaults);
        const auto given = owner();
        ASSERT_TRUE(given.has_value());
        EXPECT_EQ(
            QDir(given->skeleton).canonicalPath(),
            QDir(path(QLatin1StringView(site.copied) == u".profile" ? QStringLiteral("etc/skel")
                                                                    : QStringLiteral("site/skel")))
                .canonicalPath())
            << site.defaults;
        const QString name = QStringLiteral("site%1").arg(i++);
        ASSERT_EQ(home.createFolder(name, given), 0u);
        const QString made = QStringLiteral("homes/") + name + u'/';
        EXPECT_TRUE(QFile::exists(path(made + QLatin1StringView(site.copied)))) << site.defaults;
        EXPECT_FALSE(QFile::exists(path(made + QLatin1StringView(site.left)))) << site.defaults;
    }
}

TEST_F(HomeFolderOwnerTest, FoldersOfAccountsThisMachineDoesNotKnowAreMadeAsBefore) {
    write(QStringLiteral("etc/skel/.profile"), "PATH=/bin\n");
    EXPECT_FALSE(owner(NewHomeFolders::ToLocalAccount, "orvane-no-such-account").has_value());
    EXPECT_FALSE(owner(NewHomeFolders::ToResolvedAccount, "orvane-no-such-account").has_value());
    // The practice machine's accounts are never this machine's, even by name.
    EXPECT_FALSE(owner(NewHomeFolders::AsMade).has_value());

    const HomeRoot home = HomeRoot::open(path(QStringLiteral("homes")));
    EXPECT_EQ(home.createFolder(QStringLiteral("stranger"),
                                owner(NewHomeFolders::ToLocalAccount, "orvane-no-such-account")),
              0u);
    const struct stat st = lstatOf(QStringLiteral("homes/stranger"));
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_TRUE(QDir(path(QStringLiteral("homes/stranger")))
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
}

TEST_F(HomeFolderOwnerTest, ALinkPlantedAsTheNameGivesNothing) {
    link("../outside", QStringLiteral("homes/to-folder"));
    link("../outside/secret", QStringLiteral("homes/to-file"));
    link("../outside/none", QStringLiteral("homes/dangling"));
    const HomeRoot home = HomeRoot::open(path(QStringLiteral("homes")));
    for (const char* name : {"to-folder", "to-file", "dangling"})
        EXPECT_EQ(home.createFolder(QString::fromUtf8(name), owner()), ERROR_ALREADY_EXISTS_CODE)
            << name;
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("outside/none"))));
    EXPECT_EQ(givenOutside(), "");
}

TEST_F(HomeFolderOwnerTest, AFolderSwappedBeforeItIsOpenedGetsNothing) {
    write(QStringLiteral("etc/skel/.profile"), "PATH=/bin\n");
    const auto given = owner();
    ASSERT_TRUE(given.has_value());
    const QByteArray homes = native(QStringLiteral("homes"));
    const QByteArray made = homes + "/acct";
    const QByteArray away = homes + "/away";
    // What takes the new folder's place once it has been moved away.
    const struct {
        const char* what;
        std::function<void()> plant;
    } swaps[] = {
        {"a link to a folder outside", [&] { link("../outside", QStringLiteral("homes/acct")); }},
        {"another empty folder of root's", [&] { ::mkdir(made.constData(), 0700); }},
        {"a folder of root's holding a file",
         [&] {
             ::mkdir(made.constData(), 0700);
             write(QStringLiteral("homes/acct/file"), "");
         }},
    };
    for (const auto& swap : swaps) {
        QDir(path(QStringLiteral("homes"))).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("homes"))));
        const int folder = ::open(homes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder, 0);
        const unsigned error = createOwnedFolderAt(folder, "acct", *given, [&] {
            ASSERT_EQ(::rename(made.constData(), away.constData()), 0);
            swap.plant();
        });
        ::close(folder);
        EXPECT_EQ(error, ERROR_ACCESS_DENIED_CODE) << swap.what;
        EXPECT_EQ(givenOutside(), "") << swap.what;
        EXPECT_EQ(lstatOf(QStringLiteral("homes/away")).st_mode & 07777, 0700u) << swap.what;
    }
}
