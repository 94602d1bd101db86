// Which calls each command sends to this machine (a null server) and which to
// the logon server, with the records it passes. LOGONSERVER names the
// machine itself, so both reach the same accounts but the calls tell them
// apart.
#include "WindowHelpers.h"
#include "support/RecordingNetApi.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"
#include "ui/ShowLoadList.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace orvane::test;

namespace {

// The window on a recorded machine, with LOGONSERVER naming that machine.
struct RecordedWindow {
    TestMachine machine;
    RecordingNetApi net{machine.net};
    QString logonServer = QStringLiteral("\\\\") + machine.net.machineName();
    ScopedEnv logon{"LOGONSERVER", logonServer};
    std::unique_ptr<TUMainForm> form;

    explicit RecordedWindow(const QStringList& accounts = {}) {
        for (const QString& name : accounts)
            machine.addUser(name);
        form = showWindow(orvane::Platform{net, machine.registry, machine.dialogs, machine.shell});
        form->hDirPath = machine.path(QStringLiteral("homes/"));
        QDir().mkpath(form->hDirPath);
    }
};

using Arguments = QMap<QString, QString>;

// Every recorded call of the name went to the server (nothing: a null
// pointer), at the level, with these arguments among its own.
void expectCalls(const RecordingNetApi& net, const QString& name,
                 const std::optional<QString>& server, DWORD level, const Arguments& arguments) {
    const std::vector<RecordedCall> calls = net.callsOf(name);
    QVERIFY2(!calls.empty(), qPrintable(name));
    for (const RecordedCall& call : calls) {
        QCOMPARE(call.server, server);
        QCOMPARE(call.level, level);
        for (auto it = arguments.begin(); it != arguments.end(); ++it)
            QCOMPARE(call.arguments.value(it.key()), it.value());
    }
}

// The account record of a new account, as every creating command builds it.
Arguments accountRecord(const QString& name) {
    return {{"name", name},       {"password", "<set>"},     {"password_age", "0"},
            {"priv", "1"},        {"home_dir", "<null>"},    {"comment", "<null>"},
            {"flags", "0x10000"}, {"script_path", "<null>"}, {"parm_err", "<null>"}};
}

} // namespace

class ServerArgumentTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void theListsComeFromTheLogonServerAndEachRowFromThisMachine() {
        RecordedWindow w({QStringLiteral("u1")});
        // A row with a home folder asks whether it is shared.
        const QString folder = w.form->hDirPath + QStringLiteral("u1");
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(w.machine.setHome(QStringLiteral("u1"), folder), 0u);
        w.net.clear();
        w.form->GetAccountList(w.form->mServerName);
        w.form->GetGroupList(w.form->mServerName);
        expectCalls(w.net, "NetUserEnum", w.logonServer, 1,
                    {{"filter", "0"}, {"prefmaxlen", "0"}, {"resume_handle", "<set>"}});
        QCOMPARE(w.net.callsOf("NetUserEnum").front().arguments.value("resume"), "0");
        expectCalls(w.net, "NetLocalGroupEnum", w.logonServer, 0,
                    {{"prefmaxlen", "-1"}, {"resumehandle", "<null>"}});
        expectCalls(w.net, "NetUserGetLocalGroups", std::nullopt, 0,
                    {{"flags", "1"}, {"prefmaxlen", "-1"}});
        expectCalls(w.net, "NetShareEnum", std::nullopt, 2,
                    {{"prefmaxlen", "-1"}, {"resume_handle", "<null>"}});
        QCOMPARE(w.form->StatusPanels[0]->text(), w.logonServer);
    }

    void aNumberedRunCreatesAndJoinsOnThisMachine() {
        RecordedWindow w;
        w.form->Edit2->setText(QStringLiteral("nr"));
        w.form->Edit3->setText(QStringLiteral("1"));
        w.form->Edit4->setText(QStringLiteral("2"));
        w.net.clear();
        QTest::mouseClick(w.form->Button8, Qt::LeftButton);
        QCOMPARE(w.net.callsOf("NetUserAdd").size(), 2u);
        expectCalls(w.net, "NetUserAdd", std::nullopt, 1, {{"flags", "0x10000"}, {"priv", "1"}});
        QCOMPARE(w.net.callsOf("NetUserAdd")[1].arguments, accountRecord("nr2"));
        expectCalls(w.net, "NetLocalGroupAddMembers", std::nullopt, 3,
                    {{"groupname", "Users"}, {"totalentries", "1"}});
        QCOMPARE(w.net.callsOf("NetLocalGroupAddMembers")[0].arguments.value("members"), "nr1");
    }

    void anImportCreatesAndJoinsOnThisMachine() {
        RecordedWindow w;
        const QString table = w.machine.path(QStringLiteral("t.csv"));
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("im1,Pa55word!,\"Remote Desktop Users\",x\r\n");
        file.close();
        w.machine.dialogs.fileAnswers.push_back(table);
        TFSLList preview(w.form.get());
        w.form->FSLList = &preview;
        QTimer confirm;
        QObject::connect(&confirm, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget() == &preview)
                preview.Button1->click();
        });
        confirm.start(5);
        w.form->Button7->click();
        QVERIFY(w.form->Button6->isEnabled());
        w.net.clear();
        w.form->Button6->click();
        QCOMPARE(w.net.callsOf("NetUserAdd").size(), 1u);
        expectCalls(w.net, "NetUserAdd", std::nullopt, 1, accountRecord("im1"));
        expectCalls(w.net, "NetLocalGroupAddMembers", std::nullopt, 3,
                    {{"groupname", "Remote Desktop Users"}, {"members", "im1"}});
        w.form->FSLList = nullptr;
    }

    void theBulkTestWorkersCreateOnThisMachine() {
        RecordedWindow w;
        w.machine.setPasswordComplexity(false);
        w.net.clear();
        w.form->Button1Click();
        QTRY_COMPARE_WITH_TIMEOUT(w.form->runningWorkers(), 0, 60000);
        QCOMPARE(w.net.callsOf("NetUserAdd").size(), 101u);
        expectCalls(w.net, "NetUserAdd", std::nullopt, 1,
                    {{"priv", "1"}, {"flags", "0x10000"}, {"home_dir", "<null>"}});
    }

    void membershipChangesGoToTheLogonServer() {
        RecordedWindow w({QStringLiteral("m1")});
        selectRows(w.form->ListView1, {QStringLiteral("m1")});
        QVERIFY(selectGroup(*w.form, QStringLiteral("Remote Desktop Users")));
        w.net.clear();
        w.form->N4->trigger();
        expectCalls(
            w.net, "NetLocalGroupAddMembers", w.logonServer, 3,
            {{"groupname", "Remote Desktop Users"}, {"members", "m1"}, {"totalentries", "1"}});
        selectRows(w.form->ListView1, {QStringLiteral("m1")});
        QVERIFY(selectGroup(*w.form, QStringLiteral("Remote Desktop Users")));
        w.form->N6->trigger();
        expectCalls(
            w.net, "NetLocalGroupDelMembers", w.logonServer, 3,
            {{"groupname", "Remote Desktop Users"}, {"members", "m1"}, {"totalentries", "1"}});
    }

    void deletionGoesToThisMachine() {
        RecordedWindow w({QStringLiteral("gone")});
        selectRows(w.form->ListView1, {QStringLiteral("gone")});
        w.net.clear();
        w.form->N10->trigger();
        expectCalls(w.net, "NetUserDel", std::nullopt, 0, {{"username", "gone"}});
    }

    void associationGoesToThisMachineWithTheRecord() {
        RecordedWindow w({QStringLiteral("h1")});
        const QString folder = w.form->hDirPath + QStringLiteral("h1");
        QVERIFY(QDir().mkdir(folder));
        selectRows(w.form->ListView1, {QStringLiteral("h1")});
        w.net.clear();
        w.form->N15->trigger();
        const Arguments record{{"username", "h1"},     {"name", "<null>"},
                               {"password", "<null>"}, {"password_age", "0"},
                               {"priv", "1"},          {"comment", "<null>"},
                               {"flags", "0x10000"},   {"script_path", "<null>"},
                               {"parm_err", "<null>"}};
        expectCalls(w.net, "NetUserSetInfo", std::nullopt, 1, record);
        QCOMPARE(w.net.callsOf("NetUserSetInfo")[0].arguments.value("home_dir"), folder);
        selectRows(w.form->ListView1, {QStringLiteral("h1")});
        w.net.clear();
        w.form->N16->trigger();
        expectCalls(w.net, "NetUserSetInfo", std::nullopt, 1, record);
        QCOMPARE(w.net.callsOf("NetUserSetInfo")[0].arguments.value("home_dir"), QString());
    }

    void sharingGoesToTheLogonServerWithTheRecord() {
        RecordedWindow w({QStringLiteral("s1")});
        const QString folder = w.form->hDirPath + QStringLiteral("s1");
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(w.machine.setHome(QStringLiteral("s1"), folder), 0u);
        w.form->GetAccountList(w.form->mServerName);
        selectRows(w.form->ListView1, {QStringLiteral("s1")});
        w.net.clear();
        w.form->N1->trigger();
        expectCalls(w.net, "NetShareAdd", w.logonServer, 502,
                    {{"netname", "s1"},
                     {"type", "0"},
                     {"remark", QString::fromUtf16(u"s1个人主文件夹")},
                     {"permissions", "7"},
                     {"max_uses", "-1"},
                     {"current_uses", "10"},
                     {"path", folder},
                     {"passwd", "<null>"},
                     {"reserved", "0"},
                     {"security_descriptor", "<null>"},
                     {"parm_err", "<set>"}});
        selectRows(w.form->ListView1, {QStringLiteral("s1")});
        w.net.clear();
        w.form->N2->trigger();
        expectCalls(w.net, "NetShareDel", w.logonServer, 0, {{"netname", "s1"}, {"reserved", "0"}});
    }
};

QTEST_MAIN(ServerArgumentTest)
#include "ServerArgumentTest.moc"
