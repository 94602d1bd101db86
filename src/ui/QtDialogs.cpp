#include "ui/QtDialogs.h"

#include "ui/FolderChooser.h"

#include <QFileDialog>
#include <QMessageBox>

namespace orvane::ui {

std::optional<QString> QtDialogs::chooseFolder(QWidget* parent, const QString& prompt,
                                               const QString& root) {
    FolderChooser chooser(parent, prompt, root);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    const QString folder = chooser.selectedFolder();
    if (folder.isEmpty())
        return std::nullopt;
    return folder;
}

std::optional<QString> QtDialogs::openFile(QWidget* parent, const OpenFileOptions& options) {
    QFileDialog dialog(parent, options.title, options.initialFolder, options.filter);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(options.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

void QtDialogs::showError(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace orvane::ui
