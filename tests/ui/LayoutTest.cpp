// The main window and the preview dialog as laid out: names, sizes, texts.
#include "support/TestMachine.h"
#include "ui/HelpText.h"
#include "ui/ShowLoadList.h"
#include "ui/UserMMain.h"

#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitterHandle>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using orvane::test::TestMachine;

class LayoutTest : public QObject {
    Q_OBJECT

    TestMachine machine;
    std::unique_ptr<TUMainForm> form;

    template <class T> T* find(const char* name) {
        auto* widget = form->findChild<T*>(QLatin1String(name));
        if (!widget)
            qWarning("no control %s", name);
        return widget;
    }

private slots:
    void initTestCase() { form = std::make_unique<TUMainForm>(machine.platform()); }

    void everyControlIsFoundByItsName() {
        const char* names[] = {
            "Panel1",     "Button1",   "PageControl1", "TabSheet1", "TabSheet2",    "GroupBox1",
            "ListView1",  "GroupBox2", "ListBox1",     "GroupBox3", "GroupBox6",    "ListView2",
            "Splitter1",  "Splitter2", "Splitter3",    "Label1",    "mDirPathEdit", "Button5",
            "GroupBox4",  "Label2",    "Edit2",        "Label4",    "Edit3",        "Label3",
            "Edit4",      "Label5",    "Edit5",        "Button8",   "GroupBox5",    "Label6",
            "Edit6",      "Button7",   "Button6",      "Memo1",     "Splitter4",    "GroupBox7",
            "StatusBar1", "PopupMenu1"};
        for (const char* name : names)
            QVERIFY2(form->findChild<QWidget*>(QLatin1String(name)), name);
    }

    void windowAndTabs() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Orvane"));
        QCOMPARE(form->size(), QSize(784, 562));
        QCOMPARE(form->Panel1->height(), 25);
        QVERIFY(!form->Button1->isVisibleTo(form.get()));
        QCOMPARE(form->Button1->text(), QStringLiteral("Button1"));
        QCOMPARE(form->Button1->size(), QSize(75, 25));
        QCOMPARE(form->PageControl1->count(), 2);
        QCOMPARE(form->PageControl1->tabText(0), QString::fromUtf16(u"用户、主文件夹批理管理(&U)"));
        QCOMPARE(form->PageControl1->tabText(1), QString::fromUtf16(u"使用帮助(&H)"));
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
        QCOMPARE(form->font().family(), QStringLiteral("Tahoma"));
    }

    void statusBarHasFivePanels() {
        QCOMPARE(form->StatusBar1->height(), 19);
        const int widths[] = {120, 120, 120, 100, 50};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(form->StatusPanels[i]->width(), widths[i]);
        QCOMPARE(form->StatusPanels[4]->text(), QString());
    }

    void listsAndTheirColumns() {
        QTreeWidget* accounts = form->ListView1;
        QCOMPARE(accounts->columnCount(), 5);
        const char16_t* captions[] = {u"用户名", u"描述", u"主文件夹", u"共享状态", u"隶属组"};
        const int widths[] = {120, 120, 150, 120, 200};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(accounts->headerItem()->text(i), QString::fromUtf16(captions[i]));
            QCOMPARE(accounts->columnWidth(i), widths[i]);
        }
        QCOMPARE(accounts->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(accounts->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(accounts->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!accounts->isSortingEnabled());

        QTreeWidget* groups = form->ListView2;
        QCOMPARE(groups->columnCount(), 1);
        QCOMPARE(groups->headerItem()->text(0), QString::fromUtf16(u"用户组"));
        QCOMPARE(groups->columnWidth(0), 200);
        QCOMPARE(groups->selectionMode(), QAbstractItemView::SingleSelection);

        QCOMPARE(form->GroupBox1->title(), QString::fromUtf16(u"当前帐户列表"));
        QCOMPARE(form->GroupBox2->title(), QString::fromUtf16(u"执行日志"));
        QCOMPARE(form->GroupBox6->title(), QString::fromUtf16(u"当前组列表"));
        QCOMPARE(form->Splitter1->width() <= 3 || form->Splitter1->height() <= 3, true);
        QCOMPARE(form->ImageList1.size(), 2);
        QCOMPARE(form->ImageList2.size(), 1);
        QCOMPARE(form->ImageList1[0].pixmap(16, 16).size(), QSize(16, 16));
    }

    void optionsBox() {
        QCOMPARE(form->GroupBox3->title(), QString::fromUtf16(u"配置选项"));
        QCOMPARE(form->Label1->text(), QString::fromUtf16(u"用户目录："));
        QVERIFY(form->mDirPathEdit->isReadOnly());
        QCOMPARE(form->mDirPathEdit->width(), 145);
        QCOMPARE(form->Button5->text(), QStringLiteral("..."));
        QCOMPARE(form->Button5->size(), QSize(20, 25));

        QCOMPARE(form->GroupBox4->title(), QString::fromUtf16(u"批量创建用户账号"));
        QCOMPARE(form->GroupBox4->size(), QSize(174, 143));
        QCOMPARE(form->Label2->text(), QString::fromUtf16(u"前缀："));
        QCOMPARE(form->Label4->text(), QString::fromUtf16(u"递增："));
        QCOMPARE(form->Label3->text(), QStringLiteral("~"));
        QCOMPARE(form->Label5->text(), QString::fromUtf16(u"密码："));
        struct {
            QLineEdit* edit;
            int maxLength;
            const char* text;
        } edits[] = {{form->Edit2, 8, "GCUSER"},
                     {form->Edit3, 3, "1"},
                     {form->Edit4, 3, "100"},
                     {form->Edit5, 16, "kqzt4817.net"}};
        for (const auto& e : edits) {
            QCOMPARE(e.edit->maxLength(), e.maxLength);
            QCOMPARE(e.edit->text(), QLatin1String(e.text));
        }
        QCOMPARE(form->Edit5->echoMode(), QLineEdit::Normal);
        QCOMPARE(form->Button8->text(), QString::fromUtf16(u"创建用户帐号"));

        QCOMPARE(form->GroupBox5->title(), QString::fromUtf16(u"导入帐户表"));
        QCOMPARE(form->GroupBox5->size(), QSize(174, 104));
        QCOMPARE(form->Label6->text(), QString::fromUtf16(u"指定.csv文件（需规范格式）"));
        QVERIFY(form->Edit6->isReadOnly());
        QCOMPARE(form->Edit6->text(), QString());
        QCOMPARE(form->Button7->text(), QStringLiteral("..."));
        QCOMPARE(form->Button6->text(), QString::fromUtf16(u"生成用户帐号"));
        QVERIFY(!form->Button6->isEnabled());
    }

    void contextMenuEntriesInOrder() {
        const struct {
            const char* name;
            const char16_t* caption;
        } entries[] = {{"N7", u"全选"},
                       {"N8", u"反选"},
                       {"N10", u"删除指定用户"},
                       {"N18", u"-"},
                       {"N9", u"刷新"},
                       {"N5", u"-"},
                       {"N4", u"添加到组."},
                       {"N6", u"从组中移除 ."},
                       {"N14", u"-"},
                       {"N11", u"查看用户主文件夹"},
                       {"N12", u"创建用户主文件夹"},
                       {"N13", u"删除用户主文件夹"},
                       {"N3", u"-"},
                       {"N1", u"设置共享"},
                       {"N2", u"撤销共享"},
                       {"N17", u"-"},
                       {"N15", u"关联主文件夹"},
                       {"N16", u"撤销关联"}};
        const QList<QAction*> actions = form->PopupMenu1->actions();
        QCOMPARE(actions.size(), 18);
        for (int i = 0; i < 18; ++i) {
            QCOMPARE(actions[i]->objectName(), QLatin1String(entries[i].name));
            const QString caption = QString::fromUtf16(entries[i].caption);
            QCOMPARE(actions[i]->isSeparator(), caption == u"-");
            // A separator draws its text beside its line in this style.
            QCOMPARE(actions[i]->text(), caption == u"-" ? QString() : caption);
        }
        QCOMPARE(form->PopupMenu1->defaultAction(), form->N14);
    }

    void theWindowHasTheProgramsIconInEverySize() {
        const QIcon icon = form->windowIcon();
        QVERIFY(!icon.isNull());
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
                     qPrintable(QString::number(size)));
            QCOMPARE(icon.pixmap(size).size(), QSize(size, size));
        }
    }

    void screenReadersNameEachBoxAfterItsLabel() {
        const auto name = [](QWidget* widget) {
            return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
        };
        QCOMPARE(name(form->mDirPathEdit), QString::fromUtf16(u"用户目录："));
        QCOMPARE(name(form->Edit2), QString::fromUtf16(u"前缀："));
        QCOMPARE(name(form->Edit3), QString::fromUtf16(u"递增："));
        QCOMPARE(name(form->Edit4), QString::fromUtf16(u"递增：~"));
        QCOMPARE(name(form->Edit5), QString::fromUtf16(u"密码："));
        QCOMPARE(name(form->Edit6), QString::fromUtf16(u"指定.csv文件（需规范格式）"));
    }

    void helpPageHoldsTheUsageText() {
        QVERIFY(form->Memo1->isReadOnly());
        QCOMPARE(form->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(form->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const QStringList shown = form->Memo1->toPlainText().split(u'\n');
        QCOMPARE(shown, orvane::ui::usageText());
        QCOMPARE(shown.size(), 30);
        QCOMPARE(form->GroupBox7->title(), QString::fromUtf16(u"获取在线技术支持"));
    }

    void previewDialog() {
        TFSLList dialog(form.get());
        QCOMPARE(dialog.windowTitle(), QString::fromUtf16(u"待导入用户数据预览"));
        QCOMPARE(dialog.size(), QSize(508, 340));
        QCOMPARE(dialog.PageControl1->geometry(), QRect(12, 24, 481, 265));
        QCOMPARE(dialog.PageControl1->tabText(0), QString::fromUtf16(u"用户数据"));
        QCOMPARE(dialog.ListView1->columnCount(), 21);
        QCOMPARE(dialog.ListView1->headerItem()->text(3),
                 QString::fromUtf16(u"其他字段暂不支持导入"));
        QCOMPARE(dialog.ListView1->columnWidth(2), 120);
        QCOMPARE(dialog.ListView1->headerItem()->text(20), QString());
        QCOMPARE(dialog.Button1->text(), QString::fromUtf16(u"确认(&O)"));
        QCOMPARE(dialog.Button1->geometry(), QRect(331, 307, 75, 25));
        QCOMPARE(dialog.Button2->text(), QString::fromUtf16(u"放弃(&Q)"));
        QCOMPARE(dialog.Button2->geometry(), QRect(414, 307, 75, 25));
        QVERIFY(!dialog.CsvFileOK);
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(LayoutTest)
#include "LayoutTest.moc"
