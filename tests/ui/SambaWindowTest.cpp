// The window on the samba backend against the test server, every result
// checked with Samba's own tools as well as through the window.
#include "WindowHelpers.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/netapi/NetBuffer.h"
#include "platform/netapi/WideText.h"
#include "platform/samba/SambaNetApi.h"
#include "support/SambaRelay.h"
#include "support/SambaTestServer.h"
#include "support/ScriptedDialogs.h"
#include "ui/AccountRecord.h"
#include "ui/LookAndFeel.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QTimer>

using namespace orvane::test;
using orvane::samba::SambaNetApi;
using orvane::samba::ServerNames;

namespace {

const QString kUsers = QStringLiteral("Users");
const QString kRemote = QStringLiteral("Remote Desktop Users");

// The window's platform on the test server; what a test adds to the server
// is deleted after it.
struct SambaWindowMachine {
    // `recycleAfter` exchanges make libnetapi's context anew.
    explicit SambaWindowMachine(unsigned recycleAfter = SambaNetApi::kRecycleAfter)
        : net(SambaTestServer::credentials(), ServerNames(QString(), ServerNames::thisMachine()),
              recycleAfter) {}
    QTemporaryDir dir;
    SambaNetApi net;
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

    // An account whose Unix account was deleted behind Samba's back (userdel
    // without smbpasswd -x): Samba cannot answer for it, and the rest of the
    // list must not go with it.
    void anAccountWithoutItsUnixAccountLeavesTheOthersListed() {
        if (SambaTestServer::kind() != QStringLiteral("sa"))
            QSKIP("a standalone server keeps Unix accounts beside Samba's");
        SambaWindowMachine machine;
        QCOMPARE(machine.addUser(QStringLiteral("swkept")), 0u);
        QCOMPARE(machine.addUser(QStringLiteral("swgone")), 0u);
        const CommandResult removed =
            SambaTestServer::run({QStringLiteral("userdel"), QStringLiteral("swgone")});
        QVERIFY2(removed.status == 0, qPrintable(removed.output));
        auto form = open(machine);
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("swkept")));
        // Listed by its name, its details unknown. Samba cannot delete it
        // until its Unix account is back.
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("swgone")));
        QVERIFY(machine.net.NetUserDel(nullptr, orvane::wideText(QStringLiteral("swgone"))) != 0);
        const CommandResult back = SambaTestServer::run(
            {QStringLiteral("useradd"), QStringLiteral("-M"), QStringLiteral("swgone")});
        QVERIFY2(back.status == 0, qPrintable(back.output));
        QCOMPARE(machine.net.NetUserDel(nullptr, orvane::wideText(QStringLiteral("swgone"))), 0u);
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

    // The workers' exchanges and the window's listings share the adapter's
    // state (whether a listing is under way, when libnetapi's context goes),
    // and libnetapi's context is made anew every few exchanges meanwhile.
    void bulkTestWorkersWhileTheWindowLists() {
        SambaWindowMachine machine(5);
        auto form = open(machine);
        const int groups = form->ListView2->topLevelItemCount();
        QVERIFY(groups > 0);
        form->Button1Click();
        int rounds = 0;
        do {
            form->ListView2->clear();
            form->GetGroupList(QString());
            QCOMPARE(form->ListView2->topLevelItemCount(), groups);
            // Dispatches the workers' ends between its batches.
            form->GetAccountList(QString());
            ++rounds;
        } while (form->runningWorkers() > 0);
        QVERIFY(rounds > 0);
        QCOMPARE(logMessages(*form), QStringList(101, QStringLiteral("OK")));
        form->GetAccountList(QString());
        const QStringList accounts = SambaTestServer::accounts();
        for (int i = 0; i <= 100; ++i) {
            const QString name = QStringLiteral("user%1").arg(i);
            QVERIFY2(accounts.contains(name), qPrintable(name));
            QVERIFY2(rowNamed(form->ListView1, name), qPrintable(name));
        }
    }

    // The server by another address of the test's namespace: its SMB port
    // passed through to the server, its LDAP port accepting and then silent.
    void aSilentDirectoryLeavesTheWindowDispatching() {
        if (SambaTestServer::kind() != u"dc")
            QSKIP("a domain controller's directory");
        const char* const address = "127.0.0.7";
        SambaRelay smb(address, SambaTestServer::address().toStdString(), 445);
        SambaRelay ldap(address, {});
        QVERIFY2(smb.valid(), smb.why().c_str());
        QVERIFY2(ldap.valid(), ldap.why().c_str());
        SambaNetApi net(SambaTestServer::credentials(),
                        ServerNames(QString::fromLatin1(address), QStringList()));
        bool listing = false, dispatched = false;
        QTimer ticks;
        ticks.setInterval(50);
        connect(&ticks, &QTimer::timeout, this, [&] { dispatched = dispatched || listing; });
        ticks.start();
        orvane::NetBuffer<USER_INFO_1> buffer(net);
        DWORD read = 0, total = 0, resume = 0;
        listing = true;
        const NET_API_STATUS status = net.NetUserEnum(nullptr, 1, 0, buffer.out(),
                                                      MAX_PREFERRED_LENGTH, &read, &total, &resume);
        listing = false;
        QCOMPARE(status, NET_API_STATUS(NERR_Success));
        QVERIFY(ldap.accepted() >= 1);
        // The window went on while the directory said nothing, and the
        // server answered account by account.
        QVERIFY(dispatched);
        QVERIFY(!net.listedFromDirectory());
        QStringList names;
        for (const USER_INFO_1& account : buffer.entries(read))
            names << orvane::fromWide(account.usri1_name);
        QVERIFY2(names.contains(QStringLiteral("Administrator")), qPrintable(names.join(u' ')));
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
