// Creating a numbered run of accounts, and deleting accounts.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "ui/AccountRecord.h"

#include "core/Integer.h"
#include "core/KeyFilters.h"
#include "core/Text.h"
#include "platform/Environment.h"
#include "platform/netapi/NetApi.h"
#include "platform/netapi/WideText.h"

#include <QLineEdit>

namespace {

const QString kUsersGroup = QStringLiteral("Users");

} // namespace

void TUMainForm::Edit2KeyPress(QChar& Key) {
    if (!orvane::PrefixKeyAllowed(Key))
        Key = QChar(0);
}

void TUMainForm::Edit3KeyPress(QChar& Key) {
    if (!orvane::NumberKeyAllowed(Key))
        Key = QChar(0);
}

void TUMainForm::Edit4KeyPress(QChar& Key) {
    if (!orvane::NumberKeyAllowed(Key))
        Key = QChar(0);
}

void TUMainForm::Button8Click() {
    const int first = orvane::StrToInt(Edit3->text());
    const int last = orvane::StrToInt(Edit4->text());
    if (last < first) {
        AddLogInfo(QString::fromUtf16(u"结束编号 ") + QString::number(last) +
                   QString::fromUtf16(u" 小于起始编号 ") + QString::number(first) +
                   QString::fromUtf16(u",没有创建用户"));
        return;
    }
    for (qint64 n = first; n <= last && !m_closing; ++n) {
        // Both boxes are read afresh for every number, on purpose: the log
        // line of one number lets events run, and a prefix or password typed
        // meanwhile applies from the next number on. Reading them once before
        // the loop would look tidier and change what the run creates
        // (LogAndBatchTest::prefixAndPasswordAreReadAfreshForEveryNumber).
        QString name = orvane::Trim(Edit2->text()) + QString::number(n);
        QString password = orvane::Trim(Edit5->text());
        USER_INFO_1 account = orvane::ui::accountRecord(name, password);
        const NET_API_STATUS status =
            m_platform.net.NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&account), nullptr);
        password.fill(QChar(0));
        if (status != NERR_Success) {
            AddLogInfo(QString::fromUtf16(u"添加用户 ") + name + QString::fromUtf16(u" 失败"));
            continue;
        }
        AddLogInfo(QString::fromUtf16(u"添加用户 ") + name + QString::fromUtf16(u" 成功"));
        LOCALGROUP_MEMBERS_INFO_3 member{reinterpret_cast<LPWSTR>(name.data())};
        m_platform.net.NetLocalGroupAddMembers(nullptr, orvane::wideText(kUsersGroup), 3,
                                               reinterpret_cast<LPBYTE>(&member), 1);
    }
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::N10Click() {
    const QString administrator = QStringLiteral("Administrator");
    const QString guest = QStringLiteral("Guest");
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        const QString name = row->text(0);
        const bool builtin = name == administrator || name == guest;
        if (builtin || name == orvane::environmentValue("USERNAME")) {
            if (builtin)
                AddLogInfo(QString::fromUtf16(u"自动忽略系统内置账号 ") + name);
            // Read again: the log line may have let the environment change.
            if (name == orvane::environmentValue("USERNAME"))
                AddLogInfo(QString::fromUtf16(u"自动忽略当前登录用户 ") + name);
            return;
        }
        const NET_API_STATUS status = m_platform.net.NetUserDel(nullptr, orvane::wideText(name));
        AddLogInfo(QString::fromUtf16(u"删除用户 ") + name +
                   QString::fromUtf16(status == NERR_Success ? u" 成功" : u" 失败"));
    });
    if (!m_closing)
        GetAccountList(mServerName);
}
