// Shaping the account list's selection, refreshing it, and the menu's
// enabled entries.
#include "ui/UserMMain.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTreeWidget>

namespace {

QItemSelection everyRow(QTreeWidget* list) {
    const int count = list->topLevelItemCount();
    if (count == 0)
        return {};
    QAbstractItemModel* model = list->model();
    return QItemSelection(model->index(0, 0), model->index(count - 1, model->columnCount() - 1));
}

} // namespace

void TUMainForm::N7Click() {
    ListView1->selectionModel()->select(everyRow(ListView1), QItemSelectionModel::Select);
}

void TUMainForm::N8Click() {
    ListView1->selectionModel()->select(everyRow(ListView1), QItemSelectionModel::Toggle);
}

void TUMainForm::N9Click() {
    GetAccountList(mServerName);
}

void TUMainForm::ListView1KeyDown(int Key, Qt::KeyboardModifiers Shift) {
    if ((Shift & Qt::ControlModifier) && Key == Qt::Key_A)
        N7Click();
}

void TUMainForm::PopupMenu1Popup() {
    const bool selected = ListView1->selectionModel()->hasSelection();
    for (QAction* entry : {N10, N11, N12, N13, N14, N15, N16, N1, N2, N4, N6})
        entry->setEnabled(selected);
}
