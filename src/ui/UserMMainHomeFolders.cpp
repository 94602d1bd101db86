// Creating, opening and deleting the home folders under the home root.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/FileSystem.h"
#include "platform/HomeFolderOwner.h"
#include "platform/HomeRoot.h"
#include "platform/Shell.h"
#include "platform/netapi/NetApi.h"
#include "ui/HomeFolderName.h"

#include <QCoreApplication>
#include <QLineEdit>

void TUMainForm::N12Click() {
    const QString root = orvane::Trim(mDirPathEdit->text());
    // Opened once for the whole command; a root reached through a link, or one
    // another user could change, counts as one that cannot be accessed.
    const orvane::HomeRoot home = orvane::HomeRoot::open(root);
    if (!home.isTrusted()) {
        AddLogInfo(QString::fromUtf16(u" 用户目录 ") + root +
                   QString::fromUtf16(u" 不存在或无法访问 "));
        return;
    }
    if (ListView1->topLevelItemCount() == 0) {
        AddLogInfo(QString::fromUtf16(u" 当前列表中没有用户,请先读取或创建用户 "));
        return;
    }
    CreateUserDir(home, orvane::IncludeTrailingPathDelimiter(root), ListView1);
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::CreateUserDir(const orvane::HomeRoot& root, const QString& Mdir,
                               QTreeWidget* UserList) {
    // An account this machine knows gets its folder; any other is made as
    // before, the program's. The machine's settings for new homes are read
    // once for the command.
    orvane::HomeFolderOwners owners(m_platform.net.newHomeFolders());
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
        if (root.folderExists(name)) {
            AddLogInfo(folder + QString::fromUtf16(u" 已经存在 "));
            continue;
        }
        if (const unsigned error = root.createFolder(name, owners.of(name)))
            throw orvane::EInOutError(error);
        if (root.folderExists(name))
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

void DeleteDirTree(const orvane::HomeRoot& root, const QString& name,
                   const std::function<bool()>& keepGoing) {
    root.removeFolderTree(name, keepGoing);
}

void TUMainForm::N13Click() {
    // The root is opened once, without links, and everything below is named
    // relative to it. A root another user could change, one reached through a
    // link, one that is not absolute, and the top of the folder tree are
    // never deleted from: their folders are reported as not deleted.
    const orvane::HomeRoot root = orvane::HomeRoot::open(hDirPath);
    const auto exists = [&](const QString& name, const QString& folder) {
        // Without an open root the path is only tested, for the line.
        return root.isOpen() ? root.folderExists(name) : orvane::DirectoryExists(folder);
    };
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString name = row->text(0);
        if (!orvane::ui::isPlainFolderName(name)) {
            AddLogInfo(orvane::ui::notAFolderNameLine(name));
            return;
        }
        const QString folder = hDirPath + name;
        if (!exists(name, folder)) {
            AddLogInfo(folder + QString::fromUtf16(u"不存在"));
            return;
        }
        // Events are dispatched while the tree goes, as the log line does; a
        // closing window ends the deletion where it is, and the row's line
        // with it.
        DeleteDirTree(root, name, [this] {
            QCoreApplication::processEvents();
            return !m_closing;
        });
        if (m_closing)
            return;
        AddLogInfo(folder + QString::fromUtf16(exists(name, folder) ? u"删除失败" : u"已删除"));
    });
    if (!m_closing)
        GetAccountList(mServerName);
}
