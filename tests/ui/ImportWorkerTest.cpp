// The account table import through its preview dialog, and the hidden
// bulk-test command's workers.
#include "WindowHelpers.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"
#include "ui/ShowLoadList.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace orvane::test;

namespace {

enum class Answer { Confirm, Abandon, CloseBox };

// Answers the preview dialog when it shows modally, and keeps what it showed.
struct PreviewAnswerer {
    TFSLList* dialog;
    Answer answer;
    int shown = 0;
    QString caption;
    QList<QStringList> rows;
    // Whether the first row's caption opened for editing when asked to.
    bool editable = false;
    // Runs while the dialog shows, before it is answered.
    std::function<void()> whileShown;
    QTimer timer;

    PreviewAnswerer(TFSLList* d, Answer a) : dialog(d), answer(a) {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (QApplication::activeModalWidget() != dialog || !dialog->isVisible())
                return;
            ++shown;
            caption = dialog->PageControl1->tabText(0);
            rows.clear();
            for (int i = 0; i < dialog->ListView1->topLevelItemCount(); ++i) {
                QStringList row;
                QTreeWidgetItem* item = dialog->ListView1->topLevelItem(i);
                for (int c = 0; c < item->columnCount(); ++c)
                    row.append(item->text(c));
                rows.append(row);
            }
            if (whileShown)
                whileShown();
            if (QTreeWidgetItem* first = dialog->ListView1->topLevelItem(0)) {
                dialog->ListView1->editItem(first, 0);
                editable = dialog->ListView1->viewport()->findChild<QLineEdit*>() != nullptr;
            }
            if (answer == Answer::Confirm)
                dialog->Button1->click();
            else if (answer == Answer::Abandon)
                dialog->Button2->click();
            else
                dialog->close();
        });
        timer.start();
    }
};

QString writeTable(TestMachine& machine, const char* name, const QByteArray& bytes) {
    const QString path = machine.path(QLatin1String(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// Makes a FIFO, with no writer, at the path.
bool makeFifo(const QString& path) {
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

// Opens the FIFO's writing end if the window is still on it after a while: a
// window that blocks on the FIFO then sees its end, and the test fails instead
// of hanging.
class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString& fifo)
        : m_thread([this, path = QFile::encodeName(fifo), over = m_over.get_future()] {
              using namespace std::chrono_literals;
              if (over.wait_for(30s) == std::future_status::ready)
                  return;
              fired = true;
              const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
              if (fd >= 0)
                  ::close(fd);
          }) {}
    ~FifoWatchdog() {
        m_over.set_value();
        m_thread.join();
    }
    std::atomic<bool> fired = false;

private:
    std::promise<void> m_over;
    std::thread m_thread;
};

QString importLine(const QString& field) {
    return QString::fromUtf16(u"正在导入用户：") + field;
}

} // namespace

class ImportWorkerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> form;
    TFSLList* preview = nullptr; // owned by the window, as in the program

    void open(TestMachine& machine) {
        form = std::make_unique<TUMainForm>(machine.platform());
        preview = new TFSLList(form.get());
        form->FSLList = preview;
        form->show();
    }
private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }
    void cleanup() { form.reset(); }

    void confirmedTableIsPreviewedAndImported() {
        TestMachine machine;
        open(machine);
        const QString path = writeTable(
            machine, "t.csv",
            "\xEF\xBB\xBF" + QString::fromUtf16(u"用户名,密码,隶属组\r\n"
                                                u"alpha,Pa55word!,Users\r\n"
                                                u"beta\tPa55word!\t\"Remote Desktop Users\"\r\n"
                                                u"only,two\r\n"
                                                u"\" gamma \",\"Pa,55 \"\"w\"\"\",Users,x,y\n")
                                 .toUtf8());
        machine.dialogs.fileAnswers.push_back(path);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
            QCOMPARE(answerer.shown, 1);
            QCOMPARE(answerer.caption, path + QString::fromUtf16(u" 用户帐户表"));
            QCOMPARE(answerer.rows.size(), 4);
            QCOMPARE(
                answerer.rows[3].mid(0, 5),
                (QStringList{QStringLiteral(" gamma "), QStringLiteral("Pa,55 \"w\""),
                             QStringLiteral("Users"), QStringLiteral("x"), QStringLiteral("y")}));
        }
        QCOMPARE(machine.dialogs.fileRequests.size(), size_t(1));
        QCOMPARE(machine.dialogs.fileRequests[0].title,
                 QString::fromUtf16(u"指定要导入的域帐号信息表文件"));
        QCOMPARE(machine.dialogs.fileRequests[0].filter, QStringLiteral("CSV (*.CSV)"));
        QCOMPARE(form->Edit6->text(), path);
        QVERIFY(form->Button6->isEnabled());

        form->Button6->click();
        const QStringList lines = logMessages(*form);
        // The header line is an account line too; its group does not exist.
        QCOMPARE(lines, (QStringList{
                            importLine(QString::fromUtf16(u"用户名")),
                            QString::fromUtf16(u"添加用户 用户名 失败"),
                            QString::fromUtf16(u"添加用户名 到 隶属组 组 失败"),
                            importLine(QStringLiteral("alpha")),
                            importLine(QStringLiteral("beta")),
                            importLine(QStringLiteral(" gamma ")),
                        }));
        QCOMPARE(machine.groupsOf(QStringLiteral("alpha")), QStringList{QStringLiteral("Users")});
        QCOMPARE(machine.groupsOf(QStringLiteral("beta")),
                 QStringList{QStringLiteral("Remote Desktop Users")});
        // The account name was trimmed; the quoted password kept its comma.
        QCOMPARE(machine.groupsOf(QStringLiteral("gamma")), QStringList{QStringLiteral("Users")});
        QVERIFY(!machine.groupsOf(QStringLiteral("only")));
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("gamma")));
        // The same table can be imported again; now every account exists.
        QVERIFY(form->Button6->isEnabled());
        form->Button6->click();
        QVERIFY(logMessages(*form).contains(QString::fromUtf16(u"添加用户 alpha 失败")));
    }

    void chineseAnsiAndUtf16Tables() {
        TestMachine machine;
        orvane::test::ScopedEnv lang("LC_ALL", QStringLiteral("zh_CN.UTF-8"));
        open(machine);
        // Excel on a Chinese Windows: GBK bytes, no byte-order mark.
        const QString gbk = writeTable(machine, "gbk.csv", "\xd5\xc5\xc8\xfd,Pa55word!,Users\r\n");
        machine.dialogs.fileAnswers.push_back(gbk);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
            QCOMPARE(answerer.rows.value(0).value(0), QString::fromUtf16(u"张三"));
        }
        QByteArray utf16("\xFF\xFE");
        for (QChar c : QString::fromUtf16(u"李四,Pa55word!,Users"))
            utf16.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
        const QString wide = writeTable(machine, "wide.csv", utf16);
        machine.dialogs.fileAnswers.push_back(wide);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
            QCOMPARE(answerer.rows.value(0).value(0), QString::fromUtf16(u"李四"));
        }
        form->Button6->click();
        QCOMPARE(logMessages(*form), QStringList{importLine(QString::fromUtf16(u"李四"))});
    }

    void abandoningCancellingAndTheCloseBox() {
        TestMachine machine;
        open(machine);
        const QString path = writeTable(machine, "t.csv", "a,Pa55word!,Users\n");
        machine.dialogs.fileAnswers.push_back(path);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
        }
        QVERIFY(form->Button6->isEnabled());
        // Cancelling the file dialog still shows the empty preview, captioned
        // with the name chosen before.
        machine.dialogs.fileAnswers.push_back(std::nullopt);
        {
            PreviewAnswerer answerer(preview, Answer::Abandon);
            form->Button7->click();
            QCOMPARE(answerer.shown, 1);
            QVERIFY(answerer.rows.isEmpty());
            QCOMPARE(answerer.caption, path + QString::fromUtf16(u" 用户帐户表"));
        }
        QCOMPARE(form->Edit6->text(), QString());
        QVERIFY(!form->Button6->isEnabled());
        // The close box abandons too, even after a confirmation.
        machine.dialogs.fileAnswers.push_back(path);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
        }
        machine.dialogs.fileAnswers.push_back(path);
        {
            PreviewAnswerer answerer(preview, Answer::CloseBox);
            form->Button7->click();
            QCOMPARE(answerer.shown, 1);
        }
        QVERIFY(!form->Button6->isEnabled());
        QVERIFY(!preview->CsvFileOK);
        QCOMPARE(form->ListBox1->count(), 0);
    }

    void aTableThatCannotBeOpened() {
        TestMachine machine;
        open(machine);
        const QString path = writeTable(machine, "t.csv", "a,Pa55word!,Users\n");
        machine.dialogs.fileAnswers.push_back(path);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
        }
        QVERIFY(QFile::remove(path));
        const QString expected =
            QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(path);
        // From the create button: nothing created, no refill.
        QCOMPARE(machine.addUser(QStringLiteral("later")), 0u);
        form->Button6->click();
        QCOMPARE(machine.dialogs.errors.size(), size_t(1));
        QCOMPARE(machine.dialogs.errors[0].text, expected);
        QVERIFY(!rowNamed(form->ListView1, QStringLiteral("later")));
        // From the choose button: no preview, the create button as it was.
        machine.dialogs.fileAnswers.push_back(path);
        {
            PreviewAnswerer answerer(preview, Answer::Abandon);
            form->Button7->click();
            QCOMPARE(answerer.shown, 0);
        }
        QCOMPARE(machine.dialogs.errors.size(), size_t(2));
        QCOMPARE(machine.dialogs.errors[1].text, expected);
        QVERIFY(form->Button6->isEnabled());
        QCOMPARE(form->ListBox1->count(), 0);
    }

    void aFifoIsRefusedAndTheWindowGoesOn() {
        TestMachine machine;
        open(machine);
        const QString table = writeTable(machine, "t.csv", "a,Pa55word!,Users\n");
        const QString fifo = machine.path(QStringLiteral("fifo.csv"));
        QVERIFY(makeFifo(fifo));
        const QString expected = QStringLiteral("Cannot open file \"%1\". Illegal seek.").arg(fifo);
        // Chosen for the preview: the error, no preview.
        machine.dialogs.fileAnswers.push_back(fifo);
        {
            FifoWatchdog watchdog(fifo);
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
            QVERIFY(!watchdog.fired);
            QCOMPARE(answerer.shown, 0);
        }
        QCOMPARE(machine.dialogs.errors.size(), size_t(1));
        QCOMPARE(machine.dialogs.errors[0].text, expected);
        QVERIFY(!form->Button6->isEnabled());
        // The window goes on: a table chosen next is previewed and imported.
        machine.dialogs.fileAnswers.push_back(table);
        {
            PreviewAnswerer answerer(preview, Answer::Confirm);
            form->Button7->click();
            QCOMPARE(answerer.rows, (QList<QStringList>{QStringList{QStringLiteral("a"),
                                                                    QStringLiteral("Pa55word!"),
                                                                    QStringLiteral("Users")}}));
        }
        QVERIFY(form->Button6->isEnabled());
        // The previewed table turned into a FIFO before the import: the
        // error, and nothing created.
        QVERIFY(QFile::remove(table));
        QVERIFY(makeFifo(table));
        {
            FifoWatchdog watchdog(table);
            form->Button6->click();
            QVERIFY(!watchdog.fired);
        }
        QCOMPARE(machine.dialogs.errors.size(), size_t(2));
        QCOMPARE(machine.dialogs.errors[1].text,
                 QStringLiteral("Cannot open file \"%1\". Illegal seek.").arg(table));
        QVERIFY(!machine.groupsOf(QStringLiteral("a")));
        QCOMPARE(form->ListBox1->count(), 0);
    }

    void previewShowsTwentyOneFieldsAtMost() {
        TestMachine machine;
        open(machine);
        QByteArray line;
        for (int i = 1; i <= 25; ++i)
            line += "f" + QByteArray::number(i) + ",";
        machine.dialogs.fileAnswers.push_back(writeTable(machine, "wide.csv", line + "\n"));
        PreviewAnswerer answerer(preview, Answer::Abandon);
        form->Button7->click();
        QCOMPARE(answerer.rows.value(0).size(), 21);
        QCOMPARE(answerer.rows.value(0).last(), QStringLiteral("f21"));
        // The preview's captions can be edited in place.
        QVERIFY(answerer.editable);
    }

    // Whatever field of a row F2 or a double click lands on, the caption's
    // editor opens, and an edit changes the caption alone.
    void previewEditsTheCaptionAlone() {
        TestMachine machine;
        open(machine);
        machine.dialogs.fileAnswers.push_back(
            writeTable(machine, "t.csv", "alpha,Pa55word!,Users,more\n"));
        PreviewAnswerer answerer(preview, Answer::Abandon);
        QStringList opened; // the text of each editor opened, in turn
        QStringList after;  // the row once the last editor is closed
        answerer.whileShown = [&] {
            QTreeWidget* view = preview->ListView1;
            QAbstractItemModel* model = view->model();
            const auto editorText = [&] {
                for (int c = 0; c < model->columnCount(); ++c)
                    if (auto* editor =
                            qobject_cast<QLineEdit*>(view->indexWidget(model->index(0, c))))
                        return QStringLiteral("%1:%2").arg(c).arg(editor->text());
                return QStringLiteral("none");
            };
            const auto close = [&](Qt::Key key) {
                for (int c = 0; c < model->columnCount(); ++c)
                    if (QWidget* editor = view->indexWidget(model->index(0, c)))
                        QTest::keyClick(editor, key);
            };
            for (int c : {1, 2, 3}) {
                view->setCurrentIndex(model->index(0, c));
                QTest::keyClick(view, Qt::Key_F2);
                opened.append(editorText());
                close(Qt::Key_Escape);
            }
            const QPoint onGroup = view->visualRect(model->index(0, 2)).center();
            // As the window system delivers a double click.
            for (QEvent::Type type :
                 {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                  QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
                const Qt::MouseButtons held =
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
                QMouseEvent click(type, onGroup, view->viewport()->mapToGlobal(onGroup),
                                  Qt::LeftButton, held, {});
                QApplication::sendEvent(view->viewport(), &click);
            }
            opened.append(editorText());
            for (int c = 0; c < model->columnCount(); ++c)
                if (auto* editor = qobject_cast<QLineEdit*>(view->indexWidget(model->index(0, c))))
                    editor->setText(QStringLiteral("renamed"));
            close(Qt::Key_Return);
            QCoreApplication::processEvents(); // the editor commits queued
            QTreeWidgetItem* row = view->topLevelItem(0);
            for (int c = 0; c < 4; ++c)
                after.append(row->text(c));
        };
        form->Button7->click();
        QCOMPARE(answerer.shown, 1);
        QCOMPARE(opened, QStringList(4, QStringLiteral("0:alpha")));
        QCOMPARE(after, (QStringList{QStringLiteral("renamed"), QStringLiteral("Pa55word!"),
                                     QStringLiteral("Users"), QStringLiteral("more")}));
    }

    void bulkTestWorkersAreRefusedTheirDigitPassword() {
        TestMachine machine;
        open(machine);
        const int before = machine.accountCount();
        form->Button1Click();
        QTRY_COMPARE_WITH_TIMEOUT(form->runningWorkers(), 0, 60000);
        QCOMPARE(logMessages(*form), QStringList(101, QStringLiteral("OK")));
        QCOMPARE(machine.accountCount(), before);
        // Nothing refilled: the list is as it was.
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
    }

    void bulkTestWorkersCreateEveryAccountWithoutTheRule() {
        for (int round = 0; round < 20; ++round) {
            TestMachine machine;
            machine.setPasswordComplexity(false);
            open(machine);
            form->Button1Click();
            QTRY_COMPARE_WITH_TIMEOUT(form->runningWorkers(), 0, 60000);
            QCOMPARE(form->ListBox1->count(), 101);
            QCOMPARE(machine.accountCount(), 2 + 101);
            QCOMPARE(machine.integrityCheck(), QStringLiteral("ok"));
            QVERIFY(machine.groupsOf(QStringLiteral("user0")));
            QVERIFY(machine.groupsOf(QStringLiteral("user100")));
            form.reset();
        }
    }

    void closingWithWorkersStillRunningWaitsForThem() {
        TestMachine machine;
        machine.setPasswordComplexity(false);
        open(machine);
        form->Button1Click();
        // The window goes at once; it lets the workers end first.
        form.reset();
        QCOMPARE(machine.accountCount(), 2 + 101);
    }
};

QTEST_MAIN(ImportWorkerTest)
#include "ImportWorkerTest.moc"
