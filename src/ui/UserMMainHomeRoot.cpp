// The home root: read at start-up, chosen with the folder chooser, kept in the
// registry.
#include "ui/UserMMain.h"

#include "core/Text.h"
#include "platform/Dialogs.h"
#include "platform/HomeRootSetting.h"
#include "platform/RegistryKey.h"
#include "platform/rehearsal/ChosenFolder.h"

#include <QLabel>
#include <QLineEdit>

namespace {

// The chooser's tree starts at the top of the folder tree, which stands for
// Windows' drive D: here.
QString chooserRoot() {
    return QStringLiteral("/");
}

} // namespace

void TUMainForm::ReadConfigRegKey(QString& hDirStr) {
    const orvane::RegistryKey key(m_platform.registry, orvane::kHomeRootKey, true);
    hDirStr = orvane::IncludeTrailingPathDelimiter(key.ReadString(orvane::kHomeRootValue));
}

void TUMainForm::SaveConfigRegKey(const QString& hDirStr) {
    orvane::RegistryKey key(m_platform.registry, orvane::kHomeRootKey, true);
    key.WriteString(orvane::kHomeRootValue, hDirStr);
}

void TUMainForm::Button5Click() {
    const std::optional<QString> chosen = m_platform.dialogs.chooseFolder(
        this,
        QString::fromUtf16(
            u"选择用户主文件夹存放位置，所有用户的个人文件夹都默认创建在这个路径之下。"
            u"（建议目录层次不易太深）"),
        chooserRoot());
    if (!chosen)
        return;
    const QString& path = *chosen;
    // In a rehearsal, folders made under the new root go to the copy too.
    orvane::rehearsal::takeIntoCopy(path);
    mDirPathEdit->setText(path);
    hDirPath = orvane::IncludeTrailingPathDelimiter(path);
    SaveConfigRegKey(path);
    StatusPanels[3]->setText(hDirPath);
}
