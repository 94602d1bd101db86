#include "ui/FolderChooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace orvane::ui {

FolderChooser::FolderChooser(QWidget* parent, const QString& prompt, const QString& root)
    : QDialog(parent), m_model(new QFileSystemModel(this)), m_tree(new QTreeView(this)) {
    setObjectName(QStringLiteral("FolderChooser"));
    setWindowModality(Qt::ApplicationModal);
    setSizeGripEnabled(true);
    resize(360, 420);

    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(prompt, this);
    text->setWordWrap(true);
    layout->addWidget(text);

    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    m_tree->setModel(m_model);
    // The tree starts one level above the root, so that the root itself (the
    // top of the file system, or a drive) can be chosen too.
    const QModelIndex rootIndex = m_model->setRootPath(root);
    m_tree->setRootIndex(rootIndex.parent());
    m_tree->expand(rootIndex);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->header()->hide();
    layout->addWidget(m_tree, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_ok->setEnabled(!selectedFolder().isEmpty()); });
}

QString FolderChooser::selectedFolder() const {
    const QModelIndex current = m_tree->currentIndex();
    if (!current.isValid() || !m_model->isDir(current))
        return QString();
    return QDir::toNativeSeparators(m_model->filePath(current));
}

} // namespace orvane::ui
