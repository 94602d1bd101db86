#pragma once

// Reading the window the way a user sees it, for the tests.

#include "support/TestMachine.h"
#include "ui/LogListBox.h"
#include "ui/UserMMain.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QTreeWidget>

namespace orvane::test {

// Opens and shows a window on the platform, which fills both lists.
inline std::unique_ptr<TUMainForm> showWindow(const Platform& platform) {
    auto form = std::make_unique<TUMainForm>(platform);
    form->show();
    return form;
}

// Creates the accounts on the machine, then opens and shows its window, which
// fills both lists.
inline std::unique_ptr<TUMainForm> openWindow(TestMachine& machine,
                                              const QStringList& accounts = {}) {
    for (const QString& name : accounts)
        if (machine.addUser(name) != 0)
            qWarning() << "cannot add" << name;
    return showWindow(machine.platform());
}

// The log's messages, without their time stamps.
inline QStringList logMessages(const TUMainForm& form) {
    QStringList out;
    for (int i = 0; i < form.ListBox1->count(); ++i) {
        const QString line = form.ListBox1->item(i);
        out.append(line.mid(line.indexOf(QStringLiteral("】 ")) + 2));
    }
    return out;
}

inline QStringList rowNames(const QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out.append(list->topLevelItem(i)->text(0));
    return out;
}

inline QTreeWidgetItem* rowNamed(const QTreeWidget* list, const QString& name) {
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0) == name)
            return list->topLevelItem(i);
    return nullptr;
}

inline QStringList selectedNames(const QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->isSelected())
            out.append(list->topLevelItem(i)->text(0));
    return out;
}

// Makes the group the selected and current row of the group list; false
// when the list has no such group.
inline bool selectGroup(TUMainForm& form, const QString& group) {
    form.ListView2->clearSelection();
    QTreeWidgetItem* row = rowNamed(form.ListView2, group);
    if (!row)
        return false;
    form.ListView2->setCurrentItem(row);
    row->setSelected(true);
    return true;
}

inline void selectRows(QTreeWidget* list, const QStringList& names) {
    list->clearSelection();
    for (const QString& name : names)
        if (QTreeWidgetItem* row = rowNamed(list, name))
            row->setSelected(true);
}

// Drags from the account list and drops at a point of the target's viewport,
// offering copy and move with the modifiers held; returns the action the
// target took, or Qt::IgnoreAction when it refused the drag.
inline Qt::DropAction dropAt(QWidget* viewport, QPoint at,
                             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMimeData data;
    data.setData(QStringLiteral("application/x-qabstractitemmodeldatalist"), QByteArray());
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(viewport, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(viewport, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

} // namespace orvane::test
