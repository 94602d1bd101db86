// Creating, opening and deleting the home folders under the home root.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "ui/HomeFolderName.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// Every entry's name, read to the end before anything is deleted, so that
// deleting cannot make the enumeration skip an entry.
std::vector<QByteArray> entryNames(int folder) {
    std::vector<QByteArray> names;
    const int stream = ::dup(folder);
    if (stream < 0)
        return names;
    const std::unique_ptr<DIR, DirCloser> dir(::fdopendir(stream));
    if (!dir) {
        ::close(stream);
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get()))
        names.emplace_back(entry->d_name);
    return names;
}

// Read-only files stay (no write bit for the owner: root could delete them
// regardless), as do files the file system keeps from deletion.
bool mayDelete(int folder, const char* name, const struct stat& st) {
    if (!(st.st_mode & S_IWUSR))
        return false;
    // Opening a device to ask could act on it; only regular files are asked.
    if (!S_ISREG(st.st_mode))
        return true;
    const Descriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return true;
    int flags = 0;
    return ::ioctl(file.get(), FS_IOC_GETFLAGS, &flags) != 0 ||
           !(flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
}

// Empties the open folder depth first. Entries are named relative to the
// folder and links are removed as links, so nothing outside it is reached,
// even when a link is swapped in meanwhile.
void emptyFolder(int folder) {
    for (const QByteArray& name : entryNames(folder)) {
        const QString shown = orvane::Trim(QFile::decodeName(name));
        if (shown == u"." || shown == u"..")
            continue;
        struct stat st;
        if (::fstatat(folder, name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            {
                const Descriptor sub(::openat(folder, name.constData(), kFolderFlags));
                if (sub.get() >= 0)
                    emptyFolder(sub.get());
            }
            ::unlinkat(folder, name.constData(), AT_REMOVEDIR);
        } else if (S_ISLNK(st.st_mode) || mayDelete(folder, name.constData(), st)) {
            ::unlinkat(folder, name.constData(), 0);
        }
    }
}

// A path of separators alone (what an empty home root becomes) names the
// top of the file system, never a home folder.
bool namesTheTop(const QString& path) {
    for (QChar c : path)
        if (c != orvane::PathDelimiter)
            return false;
    return true;
}

} // namespace

void DeleteDirTree(const QString& path) {
    if (namesTheTop(path) || path.contains(QChar(0)))
        return;
    QString bare = path;
    // A trailing separator would make the system follow a link.
    while (bare.endsWith(orvane::PathDelimiter))
        bare.chop(1);
    const QByteArray native = QFile::encodeName(bare);
    {
        // O_NOFOLLOW: a folder that is itself a link is not emptied either.
        const Descriptor folder(::open(native.constData(), kFolderFlags));
        if (folder.get() >= 0)
            emptyFolder(folder.get());
    }
    // Attempted in every case; rmdir removes no link.
    ::rmdir(native.constData());
}

void TUMainForm::N12Click() {
    const QString root = orvane::Trim(mDirPathEdit->text());
    if (!orvane::DirectoryExists(root)) {
        AddLogInfo(QString::fromUtf16(u" 用户目录 ") + root +
                   QString::fromUtf16(u" 不存在或无法访问 "));
        return;
    }
    if (ListView1->topLevelItemCount() == 0) {
        AddLogInfo(QString::fromUtf16(u" 当前列表中没有用户,请先读取或创建用户 "));
        return;
    }
    CreateUserDir(orvane::IncludeTrailingPathDelimiter(root), ListView1);
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::CreateUserDir(const QString& Mdir, QTreeWidget* UserList) {
    const int count = UserList->topLevelItemCount();
    for (int i = 0; i < count && !m_closing; ++i) {
        QTreeWidgetItem* row = UserList->topLevelItem(i);
        if (!row || !row->isSelected())
            continue;
        const QString name = row->text(0);
        if (!orvane::ui::isPlainFolderName(name)) {
            AddLogInfo(orvane::ui::notAFolderNameLine(name));
            continue;
        }
        const QString folder = Mdir + name;
        if (orvane::DirectoryExists(folder)) {
            AddLogInfo(folder + QString::fromUtf16(u" 已经存在 "));
            continue;
        }
        if (const unsigned error = orvane::CreateFolder(folder))
            throw orvane::EInOutError(error);
        if (orvane::DirectoryExists(folder))
            AddLogInfo(folder + QString::fromUtf16(u" 创建成功 "));
    }
}

void TUMainForm::N11Click() {
    // Counted by the rows' own selected flags, which the walk below reads.
    int selected = 0;
    for (int i = 0; i < ListView1->topLevelItemCount() && selected < 2; ++i)
        selected += ListView1->topLevelItem(i)->isSelected() ? 1 : 0;
    if (selected >= 2) {
        m_platform.shell.openFolder(this, hDirPath);
        return;
    }
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString home = row->text(2);
        if (orvane::DirectoryExists(home))
            m_platform.shell.openFolder(this, home);
        else
            AddLogInfo(row->text(0) + QString::fromUtf16(u" 用户未指定主文件夹,或文件夹位置错误"));
    });
}

void TUMainForm::N13Click() {
    // Without an absolute home root the folder would be found relative to the
    // program's current folder, and a root of separators alone (an empty
    // stored root) would reach the system's own folders: delete nothing then.
    const bool rootUsable = QDir::isAbsolutePath(hDirPath) && !namesTheTop(hDirPath);
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString name = row->text(0);
        if (!rootUsable) {
            AddLogInfo(name + QString::fromUtf16(u" 的用户目录未设定,未删除任何文件夹"));
            return;
        }
        if (!orvane::ui::isPlainFolderName(name)) {
            AddLogInfo(orvane::ui::notAFolderNameLine(name));
            return;
        }
        const QString folder = hDirPath + name;
        if (!orvane::DirectoryExists(folder)) {
            AddLogInfo(folder + QString::fromUtf16(u"不存在"));
            return;
        }
        DeleteDirTree(folder);
        AddLogInfo(folder +
                   QString::fromUtf16(orvane::DirectoryExists(folder) ? u"删除失败" : u"已删除"));
    });
    if (!m_closing)
        GetAccountList(mServerName);
}
