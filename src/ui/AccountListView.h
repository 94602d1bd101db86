#pragma once

#include <QTreeWidget>

// The account list: its rows are dragged onto a group to add them there, and
// offered for copying only, so that no drop (a Shift-drag, or another
// program taking a move) ever has the view remove them.
class AccountListView final : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
};
