// Creating accounts from an account table, after its preview.
#include "ui/UserMMain.h"

#include "core/AccountTable.h"
#include "core/Text.h"
#include "platform/AccountTableFile.h"
#include "platform/netapi/NetApi.h"
#include "platform/netapi/WideText.h"
#include "ui/AccountRecord.h"
#include "ui/ShowLoadList.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

namespace {

// The file-open dialog of the import box. It starts at the top of the folder
// tree, which stands for Windows' drive C: here.
orvane::Dialogs::OpenFileOptions openDialogOptions() {
    orvane::Dialogs::OpenFileOptions options;
    options.title = QString::fromUtf16(u"指定要导入的域帐号信息表文件");
    options.filter = QStringLiteral("CSV (*.CSV)");
    options.defaultSuffix = QStringLiteral("CSV");
    options.initialFolder = QStringLiteral("/");
    return options;
}

// The reader keeps only the fields that a line shows or imports.
static_assert(TFSLList::kColumns <= orvane::kAccountFieldsKept);

} // namespace

void TUMainForm::Button7Click() {
    if (OpenDialog1.options.title.isEmpty())
        OpenDialog1.options = openDialogOptions();
    Edit6->clear();
    FSLList->ListView1->clear();
    if (const std::optional<QString> chosen =
            m_platform.dialogs.openFile(this, OpenDialog1.options)) {
        OpenDialog1.FileName = *chosen;
        const orvane::AccountTable table =
            orvane::readAccountTable(OpenDialog1.FileName, orvane::systemAnsiCodePage());
        QList<QTreeWidgetItem*> rows;
        rows.reserve(table.size());
        for (qsizetype i = 0; i < table.size(); ++i) {
            // The preview's captions can be edited in place (the preview
            // keeps the other fields as they are).
            auto* row = new QTreeWidgetItem(table.line(i));
            row->setFlags(row->flags() | Qt::ItemIsEditable);
            rows.append(row);
        }
        FSLList->ListView1->addTopLevelItems(rows);
    }
    FSLList->PageControl1->setTabText(0, OpenDialog1.FileName + QString::fromUtf16(u" 用户帐户表"));
    FSLList->exec();
    if (FSLList->CsvFileOK) {
        Edit6->setText(OpenDialog1.FileName);
        Button6->setEnabled(true);
    } else {
        Edit6->clear();
        Button6->setEnabled(false);
    }
}

void TUMainForm::Button6Click() {
    FSLList->ListView1->clear();
    const orvane::AccountTable table =
        orvane::readAccountTable(OpenDialog1.FileName, orvane::systemAnsiCodePage());
    for (qsizetype i = 0; i < table.size(); ++i) {
        if (m_closing)
            return;
        QString name = orvane::Trim(table.field(i, 0).toString());
        QString password = orvane::Trim(table.field(i, 1).toString());
        const QString group = table.field(i, 2).toString();
        USER_INFO_1 account = orvane::ui::accountRecord(name, password);
        const NET_API_STATUS created =
            m_platform.net.NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&account), nullptr);
        password.fill(QChar(0));
        LOCALGROUP_MEMBERS_INFO_3 member{reinterpret_cast<LPWSTR>(name.data())};
        const NET_API_STATUS joined = m_platform.net.NetLocalGroupAddMembers(
            nullptr, orvane::wideText(group), 3, reinterpret_cast<LPBYTE>(&member), 1);
        AddLogInfo(QString::fromUtf16(u"正在导入用户：") + table.field(i, 0).toString());
        // The line above is written whatever happened: say what failed.
        if (created != NERR_Success)
            AddLogInfo(QString::fromUtf16(u"添加用户 ") + name + QString::fromUtf16(u" 失败"));
        if (joined != NERR_Success && joined != ERROR_MEMBER_IN_ALIAS)
            AddLogInfo(QString::fromUtf16(u"添加") + name + QString::fromUtf16(u" 到 ") + group +
                       QString::fromUtf16(u" 组 失败"));
    }
    GetAccountList(mServerName);
}
