#include "platform/FileSystem.h"
#include "core/SystemErrors.h"
#include "platform/Descriptor.h"
#include "platform/HomeRoot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace orvane;

namespace {

// Removes the folder at path as a home folder of the folder above it.
bool removeTree(const QString& path, const std::function<bool()>& keepGoing = {}) {
    QString bare = path;
    while (bare.endsWith(u'/'))
        bare.chop(1);
    const qsizetype cut = bare.lastIndexOf(u'/');
    return HomeRoot::open(bare.left(cut)).removeFolderTree(bare.mid(cut + 1), keepGoing);
}

class FileSystemTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    HomeRoot root() const { return HomeRoot::open(dir.path()); }
    QString path(const char* name) const { return dir.path() + u'/' + QLatin1String(name); }
    void makeFile(const char* name) const {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    void link(const QString& target, const char* name) const {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(path(name)).constData()),
                  0);
    }
};

} // namespace

TEST_F(FileSystemTest, FoldersFilesAndMissingPaths) {
    ASSERT_TRUE(QDir().mkdir(path("home")));
    makeFile("file");
    EXPECT_TRUE(DirectoryExists(path("home")));
    EXPECT_TRUE(DirectoryExists(path("home") + u'/'));
    EXPECT_FALSE(DirectoryExists(path("file")));
    EXPECT_FALSE(DirectoryExists(path("missing")));
    // A file where a folder of the path should be: "path not found".
    EXPECT_FALSE(DirectoryExists(path("file") + QStringLiteral("/below")));
    EXPECT_FALSE(DirectoryExists(QString()));
    // A name longer than the file system allows is an invalid name.
    EXPECT_FALSE(DirectoryExists(dir.path() + u'/' + QString(300, u'x')));
    // An embedded null would test another path: it is no folder.
    EXPECT_FALSE(DirectoryExists(path("home") + QChar(0) + QStringLiteral("x")));
}

TEST_F(FileSystemTest, LinksCountByTheirTarget) {
    ASSERT_TRUE(QDir().mkdir(path("target")));
    makeFile("file");
    link(path("target"), "to-folder");
    link(path("file"), "to-file");
    link(path("gone"), "dangling");
    link(path("loop"), "loop");
    EXPECT_TRUE(DirectoryExists(path("to-folder")));
    EXPECT_FALSE(DirectoryExists(path("to-file")));
    EXPECT_FALSE(DirectoryExists(path("dangling")));
    EXPECT_FALSE(DirectoryExists(path("loop")));
}

TEST_F(FileSystemTest, CreateFolderMakesOneLevelAndReportsWindowsCodes) {
    const HomeRoot home = root();
    ASSERT_TRUE(home.isTrusted());
    EXPECT_EQ(home.createFolder(QStringLiteral("a")), 0u);
    EXPECT_TRUE(DirectoryExists(path("a")));
    EXPECT_TRUE(home.folderExists(QStringLiteral("a")));
    EXPECT_EQ(home.createFolder(QStringLiteral("a")), ERROR_ALREADY_EXISTS_CODE);
    makeFile("file");
    EXPECT_EQ(home.createFolder(QStringLiteral("file")), ERROR_ALREADY_EXISTS_CODE);
    EXPECT_FALSE(home.folderExists(QStringLiteral("file")));
    EXPECT_EQ(home.createFolder(QString(300, u'x')), ERROR_FILENAME_EXCED_RANGE_CODE);
    // One entry of the root only.
    for (const QString& name : {QStringLiteral("a/b"), QStringLiteral(".."), QString()}) {
        EXPECT_EQ(home.createFolder(name), ERROR_INVALID_NAME_CODE);
        EXPECT_FALSE(home.folderExists(name));
        EXPECT_FALSE(home.removeFolderTree(name));
    }
    EXPECT_TRUE(QDir(path("a")).exists());
}

// Removing a folder tree.
namespace {

constexpr int kFolderOpen = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

using Fd = orvane::Descriptor;

// Lowers the soft limit on open descriptors for its lifetime.
class ScopedFileLimit {
public:
    explicit ScopedFileLimit(rlim_t soft) {
        m_saved.rlim_cur = m_saved.rlim_max = 0;
        if (::getrlimit(RLIMIT_NOFILE, &m_saved) != 0)
            return;
        rlimit lowered = m_saved;
        lowered.rlim_cur = soft;
        m_lowered = ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~ScopedFileLimit() {
        if (m_lowered)
            ::setrlimit(RLIMIT_NOFILE, &m_saved);
    }
    bool lowered() const { return m_lowered; }

private:
    rlimit m_saved;
    bool m_lowered = false;
};

// A chain of folders named "level", each holding a file, made relative to
// descriptors: the whole path is longer than the system takes.
bool makeChain(const QString& top, int depth) {
    int folder = ::open(QFile::encodeName(top).constData(), kFolderOpen);
    for (int i = 0; i < depth && folder >= 0; ++i) {
        const Fd file(::openat(folder, "file", O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        const int next = ::mkdirat(folder, "level", 0700) == 0 && file.get() >= 0
                             ? ::openat(folder, "level", kFolderOpen)
                             : -1;
        ::close(folder);
        folder = next;
    }
    if (folder < 0)
        return false;
    ::close(folder);
    return true;
}

// Takes away what is left of such a chain, bottom up, without paths, so a
// failed test leaves its temporary folder removable.
struct ChainCleanup {
    QString top;
    ~ChainCleanup() {
        int folder = ::open(QFile::encodeName(top).constData(), kFolderOpen);
        int depth = 0;
        while (folder >= 0) {
            const int next = ::openat(folder, "level", kFolderOpen);
            if (next < 0)
                break;
            ::close(folder);
            folder = next;
            ++depth;
        }
        for (; folder >= 0 && depth > 0; --depth) {
            ::unlinkat(folder, "file", 0);
            const int parent = ::openat(folder, "..", kFolderOpen);
            ::close(folder);
            folder = parent;
            if (folder >= 0)
                ::unlinkat(folder, "level", AT_REMOVEDIR);
        }
        if (folder >= 0)
            ::close(folder);
        QDir(top).removeRecursively();
    }
};

// Sets file-system flags (immutable, append-only) for its lifetime, where the
// file system and the privileges allow.
class ScopedFileFlags {
public:
    ScopedFileFlags(const QString& path, int flags) : m_path(QFile::encodeName(path)) {
        const Fd file(::open(m_path.constData(), O_RDONLY | O_CLOEXEC));
        int current = 0;
        if (file.get() < 0 || ::ioctl(file.get(), FS_IOC_GETFLAGS, &current) != 0)
            return;
        m_saved = current;
        current |= flags;
        m_set = ::ioctl(file.get(), FS_IOC_SETFLAGS, &current) == 0;
    }
    ~ScopedFileFlags() {
        const Fd file(::open(m_path.constData(), O_RDONLY | O_CLOEXEC));
        if (m_set && file.get() >= 0)
            ::ioctl(file.get(), FS_IOC_SETFLAGS, &m_saved);
    }
    bool set() const { return m_set; }

private:
    QByteArray m_path;
    int m_saved = 0;
    bool m_set = false;
};

QStringList entries(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                               QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

} // namespace

class FileSystemTreeRemovalTest : public FileSystemTest {
protected:
    void makeFiles(const QString& folder, int count) const {
        ASSERT_TRUE(QDir().mkpath(folder));
        for (int i = 0; i < count; ++i) {
            QFile file(folder + QStringLiteral("/f%1").arg(i));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
    }
};

TEST_F(FileSystemTreeRemovalTest, DeepTreeGoesUnderALowDescriptorLimit) {
    const QString top = path("deep");
    ASSERT_TRUE(QDir().mkdir(top));
    const ChainCleanup cleanup{top};
    ASSERT_TRUE(makeChain(top, 1500));
    bool removed = false;
    {
        const ScopedFileLimit limit(256);
        ASSERT_TRUE(limit.lowered());
        removed = removeTree(top);
    }
    EXPECT_TRUE(removed);
    EXPECT_FALSE(QFileInfo::exists(top));
}

TEST_F(FileSystemTreeRemovalTest, NamesThatTrimToDotsAreOrdinaryEntries) {
    const QString top = path("odd");
    const QStringList names = {QStringLiteral(". "),  QStringLiteral("..\t"),
                               QStringLiteral(" ."),  QStringLiteral(" .."),
                               QStringLiteral("..."), QStringLiteral(". .")};
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/. ")));
    for (const QString& name : names) {
        for (const QString& folder : {top, top + QStringLiteral("/. ")}) {
            // top holds the folder ". " in place of that file.
            QFile file(folder + u'/' + name);
            if (!QFileInfo::exists(file.fileName())) {
                ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            }
        }
    }
    EXPECT_TRUE(removeTree(top));
    EXPECT_FALSE(QFileInfo::exists(top));
}

TEST_F(FileSystemTreeRemovalTest, LinksGoAsLinksAndTheirTargetsStay) {
    const QString top = path("home");
    const QString outside = path("outside");
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/links")));
    ASSERT_TRUE(QDir().mkpath(outside + QStringLiteral("/sub")));
    makeFile("outside/precious");
    makeFile("outside/sub/file");
    link(outside, "home/links/to-folder");
    link(path("outside/precious"), "home/links/to-file");
    link(top, "home/links/to-top");
    link(path("gone"), "home/links/dangling");
    EXPECT_TRUE(removeTree(top));
    EXPECT_FALSE(QFileInfo::exists(top));
    EXPECT_EQ(entries(outside), (QStringList{QStringLiteral("precious"), QStringLiteral("sub")}));
    EXPECT_TRUE(QFileInfo::exists(outside + QStringLiteral("/sub/file")));
}

TEST_F(FileSystemTreeRemovalTest, AFolderThatIsALinkIsNotEmptied) {
    ASSERT_TRUE(QDir().mkdir(path("outside")));
    makeFile("outside/precious");
    link(path("outside"), "alias");
    for (const QString& alias :
         {path("alias"), path("alias") + u'/', path("alias") + QStringLiteral("//")}) {
        EXPECT_FALSE(removeTree(alias));
        EXPECT_TRUE(QFileInfo(path("alias")).isSymLink());
        EXPECT_TRUE(QFileInfo::exists(path("outside/precious")));
    }
    EXPECT_TRUE(removeTree(path("missing")));
}

TEST_F(FileSystemTreeRemovalTest, ReadOnlyAndProtectedFilesStayWithTheirFolders) {
    const QString top = path("home");
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/locked")));
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/frozen")));
    ASSERT_TRUE(QDir().mkpath(top + QStringLiteral("/plain/sub")));
    makeFile("home/locked/readonly");
    makeFile("home/locked/other");
    makeFile("home/frozen/immutable");
    makeFile("home/frozen/append-only");
    makeFile("home/plain/sub/file");
    ASSERT_TRUE(QFile::setPermissions(path("home/locked/readonly"), QFile::ReadOwner));
    const ScopedFileFlags immutable(path("home/frozen/immutable"), FS_IMMUTABLE_FL);
    const ScopedFileFlags appendOnly(path("home/frozen/append-only"), FS_APPEND_FL);

    EXPECT_FALSE(removeTree(top));
    EXPECT_TRUE(QFileInfo::exists(path("home/locked/readonly")));
    EXPECT_FALSE(QFileInfo::exists(path("home/locked/other")));
    EXPECT_FALSE(QFileInfo::exists(path("home/plain")));
    QStringList frozen;
    if (immutable.set())
        frozen << QStringLiteral("immutable");
    if (appendOnly.set())
        frozen << QStringLiteral("append-only");
    frozen.sort();
    EXPECT_EQ(entries(path("home/frozen")), frozen);
    EXPECT_EQ(entries(top).contains(QStringLiteral("frozen")), !frozen.isEmpty());
}

TEST_F(FileSystemTreeRemovalTest, KeepGoingIsAskedAndCanStopTheRemoval) {
    makeFiles(path("asked/many"), 1000);
    int asked = 0;
    EXPECT_TRUE(removeTree(path("asked"), [&] { return ++asked > 0; }));
    // 1,001 entries: asked at least after every kRemovalReportEntries of them.
    EXPECT_GE(asked, 1001 / kRemovalReportEntries);
    EXPECT_FALSE(QFileInfo::exists(path("asked")));

    makeFiles(path("stopped/many"), 1000);
    asked = 0;
    EXPECT_FALSE(removeTree(path("stopped"), [&] { return ++asked > 1; }));
    EXPECT_EQ(asked, 1);
    EXPECT_GE(entries(path("stopped/many")).size(), 1000 - kRemovalReportEntries);
}

TEST_F(FileSystemTreeRemovalTest, AFolderMovedOutMeanwhileEndsTheRemoval) {
    // top/a/b/c holds the files; while they go, b moves to outside/b. Going
    // back up from b would then land in outside, whose parent holds a decoy
    // named like top's a.
    const QString c = path("top/a/b/c");
    makeFiles(c, 300);
    ASSERT_TRUE(QDir().mkdir(path("outside")));
    ASSERT_TRUE(QDir().mkdir(path("a")));
    makeFile("a/decoy");
    bool moved = false;
    const bool removed = removeTree(path("top"), [&] {
        if (!moved && entries(c).size() < 300)
            moved = QDir().rename(path("top/a/b"), path("outside/b"));
        return true;
    });
    ASSERT_TRUE(moved);
    EXPECT_FALSE(removed);
    EXPECT_EQ(entries(path("a")), QStringList{QStringLiteral("decoy")});
    EXPECT_EQ(entries(path("outside")), QStringList{QStringLiteral("b")});
    EXPECT_TRUE(QFileInfo::exists(path("top/a")));
}
