#include "ui/ShowLoadList.h"

#include "ui/LookAndFeel.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// A row's caption, its first column, is the one text that can be edited in
// place: F2 or a double click anywhere on a row opens the caption's editor.
// The other fields are shown as the table holds them.
class CaptionEditingList : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
        if (index.column() == 0)
            return QTreeWidget::edit(index, trigger, event);
        // The event belongs to the other field's place; the caption's editor
        // opens without it.
        return index.isValid() && QTreeWidget::edit(index.siblingAtColumn(0), trigger, nullptr);
    }
};

} // namespace

TFSLList::TFSLList(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FSLList"));
    setWindowTitle(QString::fromUtf16(u"待导入用户数据预览"));
    setFont(orvane::ui::programFont());
    setFixedSize(508, 340);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(12, 24, 481, 265);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QString::fromUtf16(u"用户数据"));

    ListView1 = new CaptionEditingList(TabSheet1);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed);
    ListView1->setColumnCount(kColumns);
    QStringList captions = {QString::fromUtf16(u"用户名"), QString::fromUtf16(u"密码"),
                            QString::fromUtf16(u"隶属组"),
                            QString::fromUtf16(u"其他字段暂不支持导入")};
    while (captions.size() < kColumns)
        captions.append(QString());
    ListView1->setHeaderLabels(captions);
    const int widths[] = {100, 100, 120, 200};
    for (int i = 0; i < 4; ++i)
        ListView1->setColumnWidth(i, widths[i]);
    auto* page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(0, 0, 0, 0);
    page->addWidget(ListView1);

    Button1 = new QPushButton(QString::fromUtf16(u"确认(&O)"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(331, 307, 75, 25);
    Button2 = new QPushButton(QString::fromUtf16(u"放弃(&Q)"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(414, 307, 75, 25);
    Button1->setAutoDefault(false);
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, &TFSLList::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TFSLList::Button2Click);
}

void TFSLList::Button1Click() {
    CsvFileOK = true;
    m_byButton = true;
    accept();
}

void TFSLList::Button2Click() {
    CsvFileOK = false;
    m_byButton = true;
    reject();
}

void TFSLList::done(int result) {
    if (!m_byButton)
        CsvFileOK = false;
    m_byButton = false;
    QDialog::done(result);
}
