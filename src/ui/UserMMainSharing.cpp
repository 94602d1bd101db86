// Sharing the accounts' registered home folders, and removing those shares.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "core/Text.h"
#include "platform/FileSystem.h"
#include "platform/NTDShare.h"
#include "platform/netapi/NetApi.h"
#include "platform/netapi/WideText.h"

namespace {

// The share name is the folder's own name: what follows the last separator;
// a folder ending in one gives none.
QString shareNameOf(const QString& folder) {
    return folder.mid(folder.lastIndexOf(u'/') + 1);
}

} // namespace

void TUMainForm::N1Click() {
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString home = row->text(2);
        if (orvane::DirectoryExists(home)) {
            const QString name = shareNameOf(home);
            orvane::AddDirShare(m_platform.net, mServerName, home, name,
                                name + QString::fromUtf16(u"个人主文件夹"));
        } else {
            AddLogInfo(row->text(0) + QString::fromUtf16(u"没有设置或创建个人主目录."));
        }
    });
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::N2Click() {
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString state = row->text(3);
        const qsizetype bar = state.indexOf(u'|');
        orvane::WideBuffer name(orvane::Trim(bar < 0 ? QString() : state.left(bar)));
        orvane::WideBuffer server(mServerName);
        m_platform.net.NetShareDel(server.get(), name.get(), 0);
    });
    if (!m_closing)
        GetAccountList(mServerName);
}
