// Putting the selected accounts into a local group, taking them out, and
// marking a group's members.
#include "ui/UserMMain.h"
#include "ui/UserMMainCommands.h"

#include "platform/netapi/NetApi.h"
#include "platform/netapi/WideText.h"

#include <QItemSelectionModel>
#include <QTreeWidget>

namespace {

// The state the user asked for holds also when the account already was (or
// was not) a member; any other failure is reported.
bool membershipHolds(NET_API_STATUS status, NET_API_STATUS alreadySo) {
    return status == NERR_Success || status == alreadySo;
}

QTreeWidgetItem* selectedGroup(QTreeWidget* groups) {
    const QList<QTreeWidgetItem*> selected = groups->selectedItems();
    return selected.isEmpty() ? nullptr : selected.constFirst();
}

} // namespace

void TUMainForm::AddGroupS(const QString& GroupName) {
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        QString name = row->text(0);
        LOCALGROUP_MEMBERS_INFO_3 member{reinterpret_cast<LPWSTR>(name.data())};
        const NET_API_STATUS status = m_platform.net.NetLocalGroupAddMembers(
            orvane::wideText(mServerName), orvane::wideText(GroupName), 3,
            reinterpret_cast<LPBYTE>(&member), 1);
        QString line = QString::fromUtf16(u"添加") + name + QString::fromUtf16(u" 到 ") +
                       GroupName + QString::fromUtf16(u" 组");
        if (!membershipHolds(status, ERROR_MEMBER_IN_ALIAS))
            line += QString::fromUtf16(u" 失败");
        AddLogInfo(line);
    });
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::ListView2DragDrop(int X, int Y) {
    if (QTreeWidgetItem* group = ListView2->itemAt(X, Y))
        AddGroupS(group->text(0));
}

void TUMainForm::N4Click() {
    if (QTreeWidgetItem* group = selectedGroup(ListView2))
        AddGroupS(group->text(0));
}

void TUMainForm::N6Click() {
    if (!selectedGroup(ListView2))
        return;
    forEachSelectedAccount([&](QTreeWidgetItem* row) {
        // The selected group is read anew for every row.
        QTreeWidgetItem* group = selectedGroup(ListView2);
        if (!group)
            return;
        const QString groupName = group->text(0);
        QString name = row->text(0);
        LOCALGROUP_MEMBERS_INFO_3 member{reinterpret_cast<LPWSTR>(name.data())};
        const NET_API_STATUS status = m_platform.net.NetLocalGroupDelMembers(
            orvane::wideText(mServerName), orvane::wideText(groupName), 3,
            reinterpret_cast<LPBYTE>(&member), 1);
        QString line =
            QString::fromUtf16(u"从") + groupName + QString::fromUtf16(u"组中移除") + name;
        if (!membershipHolds(status, ERROR_MEMBER_NOT_IN_ALIAS))
            line += QString::fromUtf16(u" 失败");
        AddLogInfo(line);
    });
    if (!m_closing)
        GetAccountList(mServerName);
}

void TUMainForm::ListView2DblClick() {
    QTreeWidgetItem* group = selectedGroup(ListView2);
    if (!group)
        return;
    const QString name = group->text(0);
    // One selection of the matching runs of rows replaces the old one.
    QAbstractItemModel* model = ListView1->model();
    const int lastColumn = model->columnCount() - 1;
    QItemSelection marked;
    int runStart = -1;
    const int count = ListView1->topLevelItemCount();
    for (int i = 0; i <= count; ++i) {
        const bool match =
            i < count && ListView1->topLevelItem(i)->text(4).contains(name, Qt::CaseSensitive);
        if (match && runStart < 0)
            runStart = i;
        if (!match && runStart >= 0) {
            marked.select(model->index(runStart, 0), model->index(i - 1, lastColumn));
            runStart = -1;
        }
    }
    ListView1->selectionModel()->select(marked, QItemSelectionModel::ClearAndSelect);
}
