#pragma once

#include "platform/Dialogs.h"
#include "platform/NETUSER.h"
#include "ui/Platform.h"
#include "ui/WebBrowser.h"

#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QDateTime;
class QKeyEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitterHandle;
class QStatusBar;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

class AddUser;
class LogListBox;
class TFSLList;

namespace orvane {
class HomeRoot;
}

// The program's title, shown on the main window and on the error box.
inline constexpr char16_t kProgramTitle[] = u"Orvane";

// The main window: every control the commands read and write, the logon
// context, and the command handlers.
class TUMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TUMainForm(orvane::Platform platform, QWidget* parent = nullptr);
    ~TUMainForm() override;

    // Top strip.
    QWidget* Panel1;
    QPushButton* Button1;

    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;

    // First tab page.
    QGroupBox* GroupBox1;
    QTreeWidget* ListView1;
    QGroupBox* GroupBox2;
    LogListBox* ListBox1;
    QGroupBox* GroupBox3;
    QGroupBox* GroupBox6;
    QTreeWidget* ListView2;
    QSplitterHandle* Splitter1;
    QSplitterHandle* Splitter2;
    QSplitterHandle* Splitter3;

    QLabel* Label1;
    QLineEdit* mDirPathEdit;
    QPushButton* Button5;

    QGroupBox* GroupBox4;
    QLabel* Label2;
    QLineEdit* Edit2;
    QLabel* Label4;
    QLineEdit* Edit3;
    QLabel* Label3;
    QLineEdit* Edit4;
    QLabel* Label5;
    QLineEdit* Edit5;
    QPushButton* Button8;

    QGroupBox* GroupBox5;
    QLabel* Label6;
    QLineEdit* Edit6;
    QPushButton* Button7;
    QPushButton* Button6;

    // Second tab page.
    QPlainTextEdit* Memo1;
    QSplitterHandle* Splitter4;
    QGroupBox* GroupBox7;

    // The status bar and its five panels.
    QStatusBar* StatusBar1;
    std::array<QLabel*, 5> StatusPanels;

    // The account list's context menu.
    QMenu* PopupMenu1;
    QAction* N7;
    QAction* N8;
    QAction* N10;
    QAction* N18;
    QAction* N9;
    QAction* N5;
    QAction* N4;
    QAction* N6;
    QAction* N14;
    QAction* N11;
    QAction* N12;
    QAction* N13;
    QAction* N3;
    QAction* N1;
    QAction* N2;
    QAction* N17;
    QAction* N15;
    QAction* N16;

    // Icons of the account rows (0 ordinary, 1 administrator or guest) and of
    // the group rows.
    QList<QIcon> ImageList1;
    QList<QIcon> ImageList2;

    // The preview dialog of the import, created hidden after this window.
    TFSLList* FSLList = nullptr;

    // The logon context.
    QString mServerName;
    QString hDirPath;
    QString DomainName;
    QString LUser;

    void FormCreate();
    void FormShow();

    void ReadConfigRegKey(QString& hDirStr);
    void SaveConfigRegKey(const QString& hDirStr);
    void Button5Click();

    void GetAccountList(const QString& ServerName);
    void GetGroupList(const QString& ServerName);
    QStringList GetUserGroups(const QString& AUser);
    QString Get_UF_ShareInfo(const QString& path);

    // Shows an error that escaped a handler in the error box.
    void ShowException(const std::exception& error);

    // The execution log.
    void AddLogInfo(const QString& logStr);
    // The clock of the log's time stamps; tests fix the time.
    void setClock(std::function<QDateTime()> clock);

    // Batch creation.
    void Edit2KeyPress(QChar& Key);
    void Edit3KeyPress(QChar& Key);
    void Edit4KeyPress(QChar& Key);
    void Button8Click();

    // Selection and the context menu.
    void N7Click();
    void N8Click();
    void N9Click();
    void ListView1KeyDown(int Key, Qt::KeyboardModifiers Shift);
    void PopupMenu1Popup();

    // Group membership.
    void AddGroupS(const QString& GroupName);
    void ListView2DragDrop(int X, int Y);
    void N4Click();
    void N6Click();
    void ListView2DblClick();

    // Account deletion.
    void N10Click();

    // Account table import.
    void Button7Click();
    void Button6Click();
    // The file-open dialog of the import box, and the file it chose last.
    struct TOpenDialog {
        orvane::Dialogs::OpenFileOptions options;
        QString FileName;
    } OpenDialog1;

    // The help page's browser, made when the tab is first shown.
    void TabSheet2Show();
    orvane::WebBrowser* WebBrowser1 = nullptr;

    // The hidden bulk-test command and its workers' end.
    void Button1Click();
    void END_OnTerminate(AddUser* Sender);

    // Home folders: create, view, delete.
    void N12Click();
    // Mdir names root, as the log lines show it.
    void CreateUserDir(const orvane::HomeRoot& root, const QString& Mdir, QTreeWidget* UserList);
    void N11Click();
    void N13Click();
    // Home folder association.
    void N15Click();
    void N16Click();
    // Home folder sharing.
    void N1Click();
    void N2Click();

    // Bulk-test workers that have not yet ended and gone.
    int runningWorkers() const { return m_runningWorkers; }

    // Whether a command is running; another one is refused until it ends.
    bool commandRunning() const { return m_commandRunning; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs a handler; an error that escapes it goes to the error box.
    template <class Handler> void guarded(Handler&& handler);
    template <class Handler> auto handlerSlot(Handler handler) {
        return [this, handler] { guarded([this, handler] { (this->*handler)(); }); };
    }
    // A command that writes log lines or refills the list dispatches events,
    // so another command could start inside it and act on rows a refill has
    // removed: while one runs, every other such command is refused.
    template <class Handler> void runCommand(Handler&& handler);
    template <class Handler> auto commandSlot(Handler handler) {
        return [this, handler] { runCommand([this, handler] { (this->*handler)(); }); };
    }
    // Visits the selected rows of the account list, first to last, with the
    // row count taken once; stops when the window is being closed.
    template <class Visit> void forEachSelectedAccount(Visit&& visit);

    void connectHandlers();
    bool filterKeyPress(QObject* box, QKeyEvent* event);
    bool filterDrag(QObject* viewport, QEvent* event);

    void buildLayout();
    void buildOptionsBox();
    void buildHelpPage();
    void buildPopupMenu();
    QTreeWidgetItem* accountRow(const USER_INFO_1& account);

    std::unique_ptr<orvane::WebBrowser> m_browser;
    orvane::Platform m_platform;
    std::function<QDateTime()> m_clock;
    bool m_shown = false;
    bool m_commandRunning = false;
    // Bulk-test workers not yet gone; the window outlives them.
    int m_runningWorkers = 0;
    bool m_destroying = false;
    bool m_closing = false;
    // Counts the refills of the account list, so a refill that dispatched
    // events can tell that the list was rebuilt meanwhile.
    std::uint64_t m_listGeneration = 0;
    // The shares as listed once for the refill under way: each shared home
    // folder's text, by path (the first share of a path, in listing order).
    // A site has a share per home folder, so a listing per row would make a
    // refill grow with the square of its accounts.
    std::optional<QHash<QString, QString>> m_refillShares;
    bool m_refilling = false;
};

// Deletes the home folder name under the root and everything in it that may
// go (see HomeRoot::removeFolderTree); writes no log line. keepGoing is asked
// now and then; false ends the deletion where it is.
void DeleteDirTree(const orvane::HomeRoot& root, const QString& name,
                   const std::function<bool()>& keepGoing);
