// The account list and the group list, filled from the service.
#include "ui/UserMMain.h"

#include "platform/FileSystem.h"
#include "platform/netapi/NetBuffer.h"
#include "platform/netapi/WideText.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QTreeWidget>

using orvane::fromWide;
using orvane::NetBuffer;
using orvane::wideText;

void TUMainForm::GetAccountList(const QString& ServerName) {
    const std::uint64_t generation = ++m_listGeneration;
    // A refill started from events this one dispatches has its own shares.
    const bool wasRefilling = std::exchange(m_refilling, true);
    auto previousShares = std::exchange(m_refillShares, std::nullopt);
    const auto restore = qScopeGuard([&] {
        m_refilling = wasRefilling;
        m_refillShares = std::move(previousShares);
    });
    ListView1->clear();
    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        NetBuffer<USER_INFO_1> buffer(m_platform.net);
        DWORD read = 0;
        DWORD total = 0;
        status = m_platform.net.NetUserEnum(wideText(ServerName), 1, 0, buffer.out(), 0, &read,
                                            &total, &resume);
        // A backend may dispatch events while it reads (a slow directory),
        // and a command run from them may have rebuilt the list already.
        if (generation != m_listGeneration)
            return;
        QList<QTreeWidgetItem*> rows;
        rows.reserve(read);
        for (const USER_INFO_1& account : buffer.entries(read))
            rows.append(accountRow(account));
        ListView1->addTopLevelItems(rows);
        buffer.reset();
        QCoreApplication::processEvents();
        // A command run from the events just dispatched has rebuilt the list:
        // its rows are complete, and adding ours would list accounts twice.
        if (generation != m_listGeneration)
            return;
    } while (status == ERROR_MORE_DATA);
}

QTreeWidgetItem* TUMainForm::accountRow(const USER_INFO_1& account) {
    auto* row = new QTreeWidgetItem;
    const QString name = fromWide(account.usri1_name);
    row->setText(0, name);
    row->setText(1, fromWide(account.usri1_comment));
    const QString home = fromWide(account.usri1_home_dir);
    if (home.isEmpty()) {
        row->setText(2, QString::fromUtf16(u"(默认)"));
        row->setText(3, QStringLiteral("--"));
    } else if (orvane::DirectoryExists(home)) {
        row->setText(2, home);
        row->setText(3, Get_UF_ShareInfo(home));
    } else {
        row->setText(2, home + QString::fromUtf16(u" (目录不存在)"));
        row->setText(3, QStringLiteral("--"));
    }
    QString membership;
    for (const QString& group : GetUserGroups(name))
        membership += group + QStringLiteral(" | ");
    row->setText(4, membership);
    row->setIcon(0, ImageList1[account.usri1_priv == USER_PRIV_USER ? 0 : 1]);
    return row;
}

void TUMainForm::GetGroupList(const QString& ServerName) {
    NetBuffer<LOCALGROUP_INFO_0> buffer(m_platform.net);
    DWORD read = 0;
    DWORD total = 0;
    const NET_API_STATUS status = m_platform.net.NetLocalGroupEnum(
        wideText(ServerName), 0, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    if (status != NERR_Success)
        return;
    QList<QTreeWidgetItem*> rows;
    for (const LOCALGROUP_INFO_0& group : buffer.entries(read)) {
        auto* row = new QTreeWidgetItem({fromWide(group.lgrpi0_name)});
        row->setIcon(0, ImageList2[0]);
        rows.append(row);
    }
    ListView2->addTopLevelItems(rows);
}

QStringList TUMainForm::GetUserGroups(const QString& AUser) {
    QStringList groups;
    NetBuffer<LOCALGROUP_USERS_INFO_0> buffer(m_platform.net);
    DWORD read = 0;
    DWORD total = 0;
    const NET_API_STATUS status =
        m_platform.net.NetUserGetLocalGroups(nullptr, wideText(AUser), 0, LG_INCLUDE_INDIRECT,
                                             buffer.out(), MAX_PREFERRED_LENGTH, &read, &total);
    if (status != NERR_Success || !buffer)
        return groups;
    groups.reserve(read);
    for (const LOCALGROUP_USERS_INFO_0& group : buffer.entries(read))
        groups.append(fromWide(group.lgrui0_name));
    return groups;
}

QString TUMainForm::Get_UF_ShareInfo(const QString& path) {
    const QString notShared = QString::fromUtf16(u"未共享");
    if (m_refilling && m_refillShares)
        return m_refillShares->value(path, notShared);
    NetBuffer<SHARE_INFO_2> buffer(m_platform.net);
    DWORD read = 0;
    DWORD total = 0;
    const NET_API_STATUS status = m_platform.net.NetShareEnum(
        nullptr, 2, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    QHash<QString, QString> shares;
    if (status == NERR_Success) {
        shares.reserve(read);
        for (const SHARE_INFO_2& share : buffer.entries(read)) {
            const QString sharePath = fromWide(share.shi2_path);
            if (!shares.contains(sharePath))
                shares.insert(sharePath,
                              fromWide(share.shi2_netname) + QStringLiteral(" | ") + sharePath);
        }
    }
    // A refill lists the shares once, even when the listing fails.
    if (m_refilling)
        m_refillShares = shares;
    return shares.value(path, notShared);
}
