// Registering the home folders under the home root as the accounts' home
// directories, and clearing them.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "core/Text.h"
#include "platform/FileSystem.h"
#include "platform/netapi/NetApi.h"
#include "platform/netapi/WideText.h"
#include "ui/HomeFolderName.h"

namespace {

NET_API_STATUS setHomeDirectory(orvane::NetApi& net, const QString& account, QString home) {
    USER_INFO_1 record{};
    record.usri1_name = nullptr;
    record.usri1_password = nullptr;
    record.usri1_password_age = 0;
    record.usri1_priv = USER_PRIV_USER;
    record.usri1_home_dir = reinterpret_cast<LPWSTR>(home.data());
    record.usri1_comment = nullptr;
    record.usri1_flags = UF_DONT_EXPIRE_PASSWD;
    record.usri1_script_path = nullptr;
    return net.NetUserSetInfo(nullptr, orvane::wideText(account), 1,
                              reinterpret_cast<LPBYTE>(&record), nullptr);
}

} // namespace

void TUMainForm::N15Click() {
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString name = row->text(0);
        if (!orvane::ui::isPlainFolderName(name)) {
            AddLogInfo(orvane::ui::notAFolderNameLine(name));
            return;
        }
        const QString folder = orvane::IncludeTrailingPathDelimiter(hDirPath) + name;
        if (!orvane::DirectoryExists(folder)) {
            AddLogInfo(QString::fromUtf16(u"该用户的主文件夹 ") + folder +
                       QString::fromUtf16(u" 不存在,请创建后再关联."));
            return;
        }
        if (setHomeDirectory(m_platform.net, name, folder) == NERR_Success)
            AddLogInfo(name + QString::fromUtf16(u" 已关联主文件夹 ") + folder);
    });
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::N16Click() {
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString name = row->text(0);
        // The empty text, not a null pointer, clears the home directory.
        if (setHomeDirectory(m_platform.net, name, QStringLiteral("")) == NERR_Success)
            AddLogInfo(name + QString::fromUtf16(u" 已撤销关联主文件夹 ") +
                       QString::fromUtf16(u" 恢复默认"));
    });
    if (!m_closing)
        GetAccountList(mServerName);
}
