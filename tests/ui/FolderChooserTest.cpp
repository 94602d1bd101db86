// The folder chooser of the home root.
#include "ui/FolderChooser.h"

#include <QAbstractItemModel>
#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

using orvane::ui::FolderChooser;

class FolderChooserTest : public QObject {
    Q_OBJECT

    static QModelIndex rowNamed(QTreeView* tree, const QModelIndex& parent, const QString& name) {
        QAbstractItemModel* model = tree->model();
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString() == name)
                return index;
        }
        return {};
    }

private slots:
    void theRootItselfCanBeChosen() {
        FolderChooser chooser(nullptr, QStringLiteral("prompt"), QDir::rootPath());
        QTreeView* tree = chooser.tree();
        QTRY_VERIFY(tree->model()->rowCount(tree->rootIndex()) > 0);
        const QModelIndex top = rowNamed(tree, tree->rootIndex(), QDir::rootPath());
        QVERIFY(top.isValid());
        QVERIFY(tree->isExpanded(top));
        tree->setCurrentIndex(top);
        QCOMPARE(chooser.selectedFolder(), QDir::toNativeSeparators(QDir::rootPath()));
        const auto* ok = chooser.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QVERIFY(ok->isEnabled());
    }

    void aFolderBelowTheRootIsChosenByItsPath() {
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("homes"))));
        FolderChooser chooser(nullptr, QStringLiteral("prompt"), QDir::rootPath());
        QTreeView* tree = chooser.tree();
        QModelIndex index = rowNamed(tree, tree->rootIndex(), QDir::rootPath());
        // Walk down the temporary folder's path, as a user opens each level.
        for (const QString& part :
             dir.filePath(QStringLiteral("homes")).split(u'/', Qt::SkipEmptyParts)) {
            tree->expand(index);
            QTRY_VERIFY(rowNamed(tree, index, part).isValid());
            index = rowNamed(tree, index, part);
        }
        tree->setCurrentIndex(index);
        QCOMPARE(chooser.selectedFolder(), dir.filePath(QStringLiteral("homes")));
    }
};

QTEST_MAIN(FolderChooserTest)
#include "FolderChooserTest.moc"
