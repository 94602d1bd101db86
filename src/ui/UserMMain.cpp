#include "ui/UserMMain.h"

#include "core/Errors.h"
#include "core/Text.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "ui/AccountListView.h"
#include "ui/HelpText.h"
#include "ui/Icons.h"
#include "ui/LogListBox.h"
#include "ui/LookAndFeel.h"
#include "ui/UserMMainCommands.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

template <class Widget, class... Args> Widget* named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* label(const char* name, const QString& text, QWidget* parent, int x, int y) {
    auto* l = named<QLabel>(name, text, parent);
    l->move(x, y);
    l->adjustSize();
    return l;
}

QLineEdit* edit(const char* name, const QString& text, int maxLength, QWidget* parent,
                QRect geometry) {
    auto* e = named<QLineEdit>(name, text, parent);
    if (maxLength > 0)
        e->setMaxLength(maxLength);
    e->setGeometry(geometry);
    return e;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent, QRect geometry) {
    auto* b = named<QPushButton>(name, text, parent);
    b->setGeometry(geometry);
    return b;
}

// A report-style list: whole rows, no editing, no sorting, small icons.
void setReportStyle(QTreeWidget* list) {
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setItemsExpandable(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSortingEnabled(false);
    list->setIconSize(QSize(16, 16));
    list->setAllColumnsShowFocus(true);
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
}

} // namespace

TUMainForm::TUMainForm(orvane::Platform platform, QWidget* parent)
    : QMainWindow(parent), m_platform(platform) {
    setObjectName(QStringLiteral("UMainForm"));
    ImageList1 = {orvane::ui::ordinaryAccountIcon(), orvane::ui::specialAccountIcon()};
    ImageList2 = {orvane::ui::groupIcon()};
    buildLayout();
    guarded([this] { FormCreate(); });
}

TUMainForm::~TUMainForm() {
    // A worker waits for its end to be handled here: let every one finish.
    m_destroying = true;
    while (m_runningWorkers > 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void TUMainForm::buildLayout() {
    setWindowTitle(QString::fromUtf16(kProgramTitle));
    setWindowIcon(orvane::ui::applicationIcon());
    setFont(orvane::ui::programFont());
    resize(784, 562);

    auto* central = named<QWidget>("UMainFormClient", this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);

    Panel1 = named<QWidget>("Panel1", central);
    Panel1->setFixedHeight(25);
    auto* strip = new QHBoxLayout(Panel1);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addStretch();
    Button1 = named<QPushButton>("Button1", QStringLiteral("Button1"), Panel1);
    Button1->setFixedSize(75, 25);
    Button1->setVisible(false);
    strip->addWidget(Button1);
    column->addWidget(Panel1);

    PageControl1 = named<QTabWidget>("PageControl1", central);
    column->addWidget(PageControl1, 1);

    TabSheet1 = named<QWidget>("TabSheet1");
    PageControl1->addTab(TabSheet1, QString::fromUtf16(u"用户、主文件夹批理管理(&U)"));
    TabSheet2 = named<QWidget>("TabSheet2");
    PageControl1->addTab(TabSheet2, QString::fromUtf16(u"使用帮助(&H)"));
    PageControl1->setCurrentWidget(TabSheet1);

    // First page: a vertical splitter between the lists and the log, and a
    // horizontal one between the group list, the account list and the options.
    auto* page = new QVBoxLayout(TabSheet1);
    page->setContentsMargins(0, 0, 0, 0);
    auto* rows = named<QSplitter>("TabSheet1Rows", Qt::Vertical, TabSheet1);
    rows->setHandleWidth(3);
    rows->setChildrenCollapsible(false);
    page->addWidget(rows);

    auto* columns = named<QSplitter>("TabSheet1Columns", Qt::Horizontal, rows);
    columns->setHandleWidth(3);
    columns->setChildrenCollapsible(false);

    GroupBox6 = named<QGroupBox>("GroupBox6", QString::fromUtf16(u"当前组列表"), columns);
    ListView2 = named<QTreeWidget>("ListView2", GroupBox6);
    setReportStyle(ListView2);
    ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView2->setHeaderLabels({QString::fromUtf16(u"用户组")});
    ListView2->setColumnWidth(0, 200);
    (new QVBoxLayout(GroupBox6))->addWidget(ListView2);

    GroupBox1 = named<QGroupBox>("GroupBox1", QString::fromUtf16(u"当前帐户列表"), columns);
    ListView1 = named<AccountListView>("ListView1", GroupBox1);
    setReportStyle(ListView1);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setHeaderLabels({QString::fromUtf16(u"用户名"), QString::fromUtf16(u"描述"),
                                QString::fromUtf16(u"主文件夹"), QString::fromUtf16(u"共享状态"),
                                QString::fromUtf16(u"隶属组")});
    const int widths[] = {120, 120, 150, 120, 200};
    for (int i = 0; i < 5; ++i)
        ListView1->setColumnWidth(i, widths[i]);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    (new QVBoxLayout(GroupBox1))->addWidget(ListView1);

    GroupBox3 = named<QGroupBox>("GroupBox3", QString::fromUtf16(u"配置选项"), columns);
    GroupBox3->setMinimumWidth(185);
    buildOptionsBox();

    columns->setStretchFactor(0, 0);
    columns->setStretchFactor(1, 1);
    columns->setStretchFactor(2, 0);
    columns->setSizes({161, 776 - 161 - 185 - 6, 185});
    Splitter3 = columns->handle(1);
    Splitter3->setObjectName(QStringLiteral("Splitter3"));
    Splitter1 = columns->handle(2);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));

    GroupBox2 = named<QGroupBox>("GroupBox2", QString::fromUtf16(u"执行日志"), rows);
    ListBox1 = named<LogListBox>("ListBox1", GroupBox2);
    (new QVBoxLayout(GroupBox2))->addWidget(ListBox1);
    rows->setStretchFactor(0, 1);
    rows->setStretchFactor(1, 0);
    rows->setSizes({490 - 105 - 3, 105});
    Splitter2 = rows->handle(1);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));

    buildHelpPage();

    StatusBar1 = named<QStatusBar>("StatusBar1", this);
    StatusBar1->setFixedHeight(19);
    const int panelWidths[] = {120, 120, 120, 100, 50};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFixedWidth(panelWidths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(panel);
        StatusPanels[i] = panel;
    }
    setStatusBar(StatusBar1);

    buildPopupMenu();
    connectHandlers();
}

void TUMainForm::buildOptionsBox() {
    QWidget* box = GroupBox3;
    Label1 = label("Label1", QString::fromUtf16(u"用户目录："), box, 8, 20);
    mDirPathEdit = edit("mDirPathEdit", QStringLiteral("D:\\"), 0, box, {8, 38, 145, 21});
    mDirPathEdit->setReadOnly(true);
    Button5 = button("Button5", QStringLiteral("..."), box, {156, 36, 20, 25});

    GroupBox4 = named<QGroupBox>("GroupBox4", QString::fromUtf16(u"批量创建用户账号"), box);
    GroupBox4->setGeometry(6, 70, 174, 143);
    Label2 = label("Label2", QString::fromUtf16(u"前缀："), GroupBox4, 8, 24);
    Edit2 = edit("Edit2", QStringLiteral("GCUSER"), 8, GroupBox4, {48, 20, 118, 21});
    Label4 = label("Label4", QString::fromUtf16(u"递增："), GroupBox4, 8, 52);
    Edit3 = edit("Edit3", QStringLiteral("1"), 3, GroupBox4, {48, 48, 50, 21});
    Label3 = label("Label3", QStringLiteral("~"), GroupBox4, 104, 52);
    Edit4 = edit("Edit4", QStringLiteral("100"), 3, GroupBox4, {116, 48, 50, 21});
    Label5 = label("Label5", QString::fromUtf16(u"密码："), GroupBox4, 8, 80);
    Edit5 = edit("Edit5", QStringLiteral("kqzt4817.net"), 16, GroupBox4, {48, 76, 118, 21});
    Button8 = button("Button8", QString::fromUtf16(u"创建用户帐号"), GroupBox4, {48, 106, 118, 27});

    GroupBox5 = named<QGroupBox>("GroupBox5", QString::fromUtf16(u"导入帐户表"), box);
    GroupBox5->setGeometry(6, 222, 174, 104);
    Label6 = label("Label6", QString::fromUtf16(u"指定.csv文件（需规范格式）"), GroupBox5, 8, 20);
    Edit6 = edit("Edit6", QString(), 0, GroupBox5, {8, 40, 132, 21});
    Edit6->setReadOnly(true);
    Button7 = button("Button7", QStringLiteral("..."), GroupBox5, {144, 38, 22, 25});
    Button6 = button("Button6", QString::fromUtf16(u"生成用户帐号"), GroupBox5, {8, 70, 158, 27});
    Button6->setEnabled(false);

    // A screen reader names each box after its label, not its group box.
    Label1->setBuddy(mDirPathEdit);
    Label2->setBuddy(Edit2);
    Label4->setBuddy(Edit3);
    Label3->setBuddy(Edit4);
    Label5->setBuddy(Edit5);
    Label6->setBuddy(Edit6);
    // "~" alone says little: the upper end of the run is named with its start.
    Edit4->setAccessibleName(Label4->text() + Label3->text());
}

void TUMainForm::buildHelpPage() {
    auto* page = new QVBoxLayout(TabSheet2);
    page->setContentsMargins(0, 0, 0, 0);
    auto* split = named<QSplitter>("TabSheet2Rows", Qt::Vertical, TabSheet2);
    split->setHandleWidth(3);
    split->setChildrenCollapsible(false);
    page->addWidget(split);

    Memo1 = named<QPlainTextEdit>("Memo1", split);
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setPlainText(orvane::ui::usageText().join(u'\n'));

    GroupBox7 = named<QGroupBox>("GroupBox7", QString::fromUtf16(u"获取在线技术支持"), split);
    auto* browserArea = new QVBoxLayout(GroupBox7);
    browserArea->setContentsMargins(2, 2, 2, 2);

    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({245, 242});
    Splitter4 = split->handle(1);
    Splitter4->setObjectName(QStringLiteral("Splitter4"));
    setTabOrder(Memo1, GroupBox7);
}

void TUMainForm::buildPopupMenu() {
    PopupMenu1 = named<QMenu>("PopupMenu1", this);
    auto entry = [this](const char* name, const char16_t* caption) {
        auto* action = new QAction(PopupMenu1);
        action->setObjectName(QLatin1String(name));
        // A "-" caption makes a separator, which shows no text of its own.
        if (caption == std::u16string_view(u"-"))
            action->setSeparator(true);
        else
            action->setText(QString::fromUtf16(caption));
        PopupMenu1->addAction(action);
        return action;
    };
    N7 = entry("N7", u"全选");
    N8 = entry("N8", u"反选");
    N10 = entry("N10", u"删除指定用户");
    N18 = entry("N18", u"-");
    N9 = entry("N9", u"刷新");
    N5 = entry("N5", u"-");
    N4 = entry("N4", u"添加到组.");
    N6 = entry("N6", u"从组中移除 .");
    N14 = entry("N14", u"-");
    N11 = entry("N11", u"查看用户主文件夹");
    N12 = entry("N12", u"创建用户主文件夹");
    N13 = entry("N13", u"删除用户主文件夹");
    N3 = entry("N3", u"-");
    N1 = entry("N1", u"设置共享");
    N2 = entry("N2", u"撤销共享");
    N17 = entry("N17", u"-");
    N15 = entry("N15", u"关联主文件夹");
    N16 = entry("N16", u"撤销关联");
    PopupMenu1->setDefaultAction(N14);
}

void TUMainForm::ShowException(const std::exception& error) {
    const auto* own = dynamic_cast<const orvane::Exception*>(&error);
    const QString text = own ? own->message() : QString::fromLocal8Bit(error.what());
    m_platform.dialogs.showError(this, QString::fromUtf16(kProgramTitle),
                                 orvane::WithFullStop(text));
}

void TUMainForm::FormCreate() {
    mServerName = orvane::environmentValue("LOGONSERVER");
    ReadConfigRegKey(hDirPath);
    DomainName = orvane::environmentValue("USERDOMAIN");
    LUser = orvane::environmentValue("USERNAME");
    StatusPanels[0]->setText(mServerName);
    StatusPanels[1]->setText(DomainName);
    StatusPanels[2]->setText(LUser);
    StatusPanels[3]->setText(hDirPath);
    mDirPathEdit->setText(hDirPath);
}

void TUMainForm::FormShow() {
    GetAccountList(mServerName);
    GetGroupList(mServerName);
}

void TUMainForm::showEvent(QShowEvent* event) {
    // Qt sends this before the window is mapped: the lists are filled before
    // the user first sees the window, which is then centred on its screen.
    if (!event->spontaneous() && !m_shown) {
        m_shown = true;
        guarded([this] { FormShow(); });
        if (const QScreen* screen = this->screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}
