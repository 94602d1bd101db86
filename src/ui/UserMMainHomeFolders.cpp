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
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read-only files stay, as do files the file system keeps from deletion.
bool mayDelete(int folder, const char* name, const struct stat& st) {
    if (!(st.st_mode & S_IWUSR))
        return false;
    if (!S_ISREG(st.st_mode))
        return true;
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    int flags = 0;
    const bool kept =
        ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL));
    ::close(fd);
    return !kept;
}

// Empties the open folder depth first. Links are removed as links: nothing
// outside the folder is ever reached.
void emptyFolder(int folder) {
    const int handle = ::dup(folder);
    DIR* entries = handle >= 0 ? ::fdopendir(handle) : nullptr;
    if (!entries) {
        if (handle >= 0)
            ::close(handle);
        return;
    }
    while (const dirent* entry = ::readdir(entries)) {
        const QString shown = orvane::Trim(QFile::decodeName(entry->d_name));
        if (shown == u"." || shown == u"..")
            continue;
        struct stat st;
        if (::fstatat(folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            const int sub =
                ::openat(folder, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) {
                emptyFolder(sub);
                ::close(sub);
            }
            ::unlinkat(folder, entry->d_name, AT_REMOVEDIR);
        } else if (S_ISLNK(st.st_mode) || mayDelete(folder, entry->d_name, st)) {
            ::unlinkat(folder, entry->d_name, 0);
        }
    }
    ::closedir(entries);
}

} // namespace

void DeleteDirTree(const QString& path) {
    const QString folder = orvane::IncludeTrailingPathDelimiter(path);
    if (folder.contains(QChar(0)))
        return;
    QString bare = folder;
    while (bare.size() > 1 && bare.endsWith(orvane::PathDelimiter))
        bare.chop(1);
    // O_NOFOLLOW: a folder that is itself a link is not emptied either.
    const int fd = ::open(QFile::encodeName(bare).constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        emptyFolder(fd);
        ::close(fd);
    }
    ::rmdir(QFile::encodeName(bare).constData());
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
    if (UserList != ListView1)
        return;
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString name = row->text(0);
        if (!orvane::ui::isPlainFolderName(name)) {
            AddLogInfo(orvane::ui::notAFolderNameLine(name));
            return;
        }
        const QString folder = Mdir + name;
        if (orvane::DirectoryExists(folder)) {
            AddLogInfo(folder + QString::fromUtf16(u" 已经存在 "));
            return;
        }
        if (const unsigned error = orvane::CreateFolder(folder))
            throw orvane::EInOutError(error);
        if (orvane::DirectoryExists(folder))
            AddLogInfo(folder + QString::fromUtf16(u" 创建成功 "));
    });
}

void TUMainForm::N11Click() {
    if (ListView1->selectionModel()->selectedRows().size() >= 2) {
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
    // program's current folder: delete nothing then.
    const bool rootUsable = !hDirPath.isEmpty() && QDir::isAbsolutePath(hDirPath);
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
