// The window on the samba backend against the test server, every result
// checked with Samba's own tools as well as through the window.
#include "WindowHelpers.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/samba/SambaNetApi.h"
#include "support/SambaTestServer.h"
#include "support/ScriptedDialogs.h"
#include "ui/AccountRecord.h"
#include "ui/LookAndFeel.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>

using namespace orvane::test;
using orvane::samba::SambaNetApi;
using orvane::samba::ServerNames;

namespace {

const QString kUsers = QStringLiteral("Users");
const QString kRemote = QStringLiteral("Remote Desktop Users");

// The window's platform on the test server; what a test adds to the server
// is deleted after it.
struct SambaWindowMachine {
    QTemporaryDir dir;
    SambaNetApi net{SambaTestServer::credentials(),
                    ServerNames(QString(), ServerNames::thisMachine())};
    orvane::MachineRegistry registry{dir.path() + QStringLiteral("/machine")};
    ScriptedDialogs dialogs;
    orvane::DesktopShell shell;
    QSet<QString> accountsBefore = toSet(SambaTestServer::accounts());
    QSet<QString> sharesBefore = toSet(SambaTestServer::shareNames());

    ~SambaWindowMachine() {
        for (const QString& name : SambaTestServer::accounts())
            if (!accountsBefore.contains(name))
                net.NetUserDel(nullptr, orvane::wideText(name));
        for (QString name : SambaTestServer::shareNames())
            if (!sharesBefore.contains(name))
                net.NetShareDel(nullptr, reinterpret_cast<LMSTR>(name.data()), 0);
    }
    orvane::Platform platform() { return {net, registry, dialogs, shell}; }
    NET_API_STATUS addUser(QString name) {
        QString password = QStringLiteral("Pa55word!");
        USER_INFO_1 record = orvane::ui::accountRecord(name, password);
        return net.NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&record), nullptr);
    }
    QString path(const QString& name) const { return dir.path() + u'/' + name; }

    static QSet<QString> toSet(const QStringList& list) { return {list.begin(), list.end()}; }
};

QString okLine(const char16_t* verb, const QString& name) {
    return QString::fromUtf16(verb) + name + QString::fromUtf16(u" 成功");
}

} // namespace

class SambaWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> open(SambaWindowMachine& machine) {
        return showWindow(machine.platform());
    }

    // A numbered run of one account.
    static void run(TUMainForm& form, const char* prefix, int number) {
        form.Edit2->setText(QLatin1String(prefix));
        form.Edit3->setText(QString::number(number));
        form.Edit4->setText(QString::number(number));
        form.Edit5->setText(QStringLiteral("Pa55word!"));
        QTest::mouseClick(form.Button8, Qt::LeftButton);
    }

private slots:
    void initTestCase() {
        if (const std::string why = SambaTestServer::unavailable(); !why.empty())
            QSKIP(why.c_str());
        orvane::ui::applyLookAndFeel();
    }

    void numberedRunMembershipAndDeletion() {
        SambaWindowMachine machine;
        auto form = open(machine);
        QVERIFY(rowNamed(form->ListView2, kUsers));
        QVERIFY(rowNamed(form->ListView2, kRemote));

        form->Edit2->setText(QStringLiteral("sw"));
        form->Edit3->setText(QStringLiteral("1"));
        form->Edit4->setText(QStringLiteral("20"));
        form->Edit5->setText(QStringLiteral("Pa55word!"));
        QTest::mouseClick(form->Button8, Qt::LeftButton);
        QStringList created, expected;
        for (int i = 1; i <= 20; ++i) {
            created << QStringLiteral("sw%1").arg(i);
            expected << okLine(u"添加用户 ", created.last());
        }
        QCOMPARE(logMessages(*form), expected);
        const QStringList accounts = SambaTestServer::accounts();
        const QStringList users = SambaTestServer::members(kUsers);
        for (const QString& name : created) {
            QVERIFY2(accounts.contains(name), qPrintable(name));
            QVERIFY2(users.contains(name, Qt::CaseInsensitive), qPrintable(name));
            QVERIFY2(rowNamed(form->ListView1, name), qPrintable(name));
        }
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("sw7"))->text(4).contains(kUsers));

        // By drop onto a group row, and by the menu on the selected group.
        selectRows(form->ListView1, {QStringLiteral("sw1"), QStringLiteral("sw2")});
        QTreeWidgetItem* remote = rowNamed(form->ListView2, kRemote);
        QVERIFY(
            dropAt(form->ListView2->viewport(), form->ListView2->visualItemRect(remote).center()));
        QStringList members = SambaTestServer::members(kRemote);
        QVERIFY(members.contains(QStringLiteral("sw1"), Qt::CaseInsensitive));
        QVERIFY(members.contains(QStringLiteral("sw2"), Qt::CaseInsensitive));

        QVERIFY(selectGroup(*form, kRemote));
        selectRows(form->ListView1, {QStringLiteral("sw2"), QStringLiteral("sw3")});
        form->N6->trigger();
        selectRows(form->ListView1, {QStringLiteral("sw4")});
        form->N4->trigger();
        members = SambaTestServer::members(kRemote);
        QVERIFY(members.contains(QStringLiteral("sw1"), Qt::CaseInsensitive));
        QVERIFY(!members.contains(QStringLiteral("sw2"), Qt::CaseInsensitive));
        QVERIFY(members.contains(QStringLiteral("sw4"), Qt::CaseInsensitive));
        QVERIFY(!logMessages(*form).join(u'\n').contains(QString::fromUtf16(u"失败")));
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("sw4"))->text(4).contains(kRemote));

        // Deletion: the built-in accounts the server has are passed over.
        const int lines = form->ListBox1->count();
        QStringList selected{QStringLiteral("sw5"), QStringLiteral("sw6")}, expectedLines;
        for (const QString& builtin : {QStringLiteral("Administrator"), QStringLiteral("Guest")})
            if (rowNamed(form->ListView1, builtin)) {
                selected << builtin;
                expectedLines << QString::fromUtf16(u"自动忽略系统内置账号 ") + builtin;
            }
        selectRows(form->ListView1, selected);
        form->N10->trigger();
        QStringList actual = logMessages(*form).mid(lines);
        actual.sort();
        expectedLines << okLine(u"删除用户 ", QStringLiteral("sw5"))
                      << okLine(u"删除用户 ", QStringLiteral("sw6"));
        expectedLines.sort();
        QCOMPARE(actual, expectedLines);
        const QStringList after = SambaTestServer::accounts();
        QVERIFY(!after.contains(QStringLiteral("sw5")));
        QVERIFY(!after.contains(QStringLiteral("sw6")));
        QVERIFY(after.contains(QStringLiteral("sw7")));
        QVERIFY(!rowNamed(form->ListView1, QStringLiteral("sw5")));
    }

    void homeFolderAssociationAndSharing() {
        SambaWindowMachine machine;
        QCOMPARE(machine.addUser(QStringLiteral("swhome")), 0u);
        auto form = open(machine);
        form->hDirPath = machine.path(QStringLiteral("homes/"));
        const QString folder = form->hDirPath + QStringLiteral("swhome");
        QVERIFY(QDir().mkpath(folder));

        selectRows(form->ListView1, {QStringLiteral("swhome")});
        form->N15->trigger();
        QCOMPARE(logMessages(*form).last(), QString::fromUtf16(u"swhome 已关联主文件夹 ") + folder);
        QCOMPARE(SambaTestServer::homeDirectory(QStringLiteral("swhome")), folder);
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("swhome"))->text(2), folder);
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("swhome"))->text(3),
                 QString::fromUtf16(u"未共享"));

        // The server reports the share's folder its own way; the row shows it
        // shared all the same. Another client's connection sees a new share
        // once its server process has read the changed configuration.
        selectRows(form->ListView1, {QStringLiteral("swhome")});
        form->N1->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            SambaTestServer::shareNames().contains(QStringLiteral("swhome"), Qt::CaseInsensitive),
            90000);
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("swhome"))->text(3),
                 QStringLiteral("swhome | ") + folder);
        // Twice: the name is taken and nothing changes.
        const int lines = form->ListBox1->count();
        selectRows(form->ListView1, {QStringLiteral("swhome")});
        form->N1->trigger();
        QCOMPARE(form->ListBox1->count(), lines);

        selectRows(form->ListView1, {QStringLiteral("swhome")});
        form->N2->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(
            !SambaTestServer::shareNames().contains(QStringLiteral("swhome"), Qt::CaseInsensitive),
            90000);
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("swhome"))->text(3),
                 QString::fromUtf16(u"未共享"));

        selectRows(form->ListView1, {QStringLiteral("swhome")});
        form->N16->trigger();
        QCOMPARE(logMessages(*form).last(),
                 QString::fromUtf16(u"swhome 已撤销关联主文件夹  恢复默认"));
        QCOMPARE(SambaTestServer::homeDirectory(QStringLiteral("swhome")), QString());
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("swhome"))->text(2),
                 QString::fromUtf16(u"(默认)"));
    }

    void bulkTestWorkersAtOnce() {
        SambaWindowMachine machine;
        auto form = open(machine);
        form->Button1Click();
        QTRY_COMPARE_WITH_TIMEOUT(form->runningWorkers(), 0, 300000);
        QCOMPARE(logMessages(*form), QStringList(101, QStringLiteral("OK")));
        const QStringList accounts = SambaTestServer::accounts();
        for (int i = 0; i <= 100; ++i)
            QVERIFY2(accounts.contains(QStringLiteral("user%1").arg(i)),
                     qPrintable(QStringLiteral("user%1").arg(i)));
    }

    void aServerThatWasDownIsReachedWhenItIsBack() {
        SambaWindowMachine machine;
        auto form = open(machine);
        QVERIFY(SambaTestServer::stop());
        run(*form, "swd", 1);
        QCOMPARE(logMessages(*form), QStringList{QString::fromUtf16(u"添加用户 swd1 失败")});
        QVERIFY(SambaTestServer::start());
        run(*form, "swd", 2);
        QCOMPARE(logMessages(*form).last(), okLine(u"添加用户 ", QStringLiteral("swd2")));
        QVERIFY(SambaTestServer::accounts().contains(QStringLiteral("swd2")));
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("swd2")));
    }

    void aRestartedServerIsReachedAgain() {
        SambaWindowMachine machine;
        auto form = open(machine);
        const int rows = form->ListView1->topLevelItemCount();
        QVERIFY(rows > 0);
        QVERIFY(SambaTestServer::restart());
        run(*form, "swr", 1);
        QCOMPARE(logMessages(*form), QStringList{okLine(u"添加用户 ", QStringLiteral("swr1"))});
        QCOMPARE(form->ListView1->topLevelItemCount(), rows + 1);
        QVERIFY(SambaTestServer::accounts().contains(QStringLiteral("swr1")));
    }
};

QTEST_MAIN(SambaWindowTest)
#include "SambaWindowTest.moc"
