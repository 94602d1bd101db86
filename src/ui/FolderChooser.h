#pragma once

#include <QDialog>

class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace orvane::ui {

// A resizable folder picker: a prompt above a tree of folders rooted at one
// folder, no folder preselected, no button to make a new folder. Only an
// existing folder can be confirmed.
class FolderChooser : public QDialog {
    Q_OBJECT

public:
    FolderChooser(QWidget* parent, const QString& prompt, const QString& root);

    // The chosen folder's path, without a trailing separator unless it is the
    // root of the file system.
    QString selectedFolder() const;

    QTreeView* tree() const { return m_tree; }

private:
    QFileSystemModel* m_model;
    QTreeView* m_tree;
    QPushButton* m_ok;
};

} // namespace orvane::ui
