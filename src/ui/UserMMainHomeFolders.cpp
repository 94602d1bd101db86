// Creating, opening and deleting the home folders under the home root.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/FileSystem.h"
#include "platform/Shell.h"
#include "ui/HomeFolderName.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>

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
    const bool rootUsable = QDir::isAbsolutePath(hDirPath) && !orvane::NamesTheTop(hDirPath);
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
        // Events are dispatched while the tree goes, as the log line does; a
        // closing window ends the deletion where it is, and the row's line
        // with it.
        orvane::RemoveFolderTree(folder, [this] {
            QCoreApplication::processEvents();
            return !m_closing;
        });
        if (m_closing)
            return;
        AddLogInfo(folder +
                   QString::fromUtf16(orvane::DirectoryExists(folder) ? u"删除失败" : u"已删除"));
    });
    if (!m_closing)
        GetAccountList(mServerName);
}
