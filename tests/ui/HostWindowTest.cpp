// The window on this machine's own accounts, over a private copy of /etc
// (tests/support/with-private-etc starts it): every outcome checked in the
// account files themselves as well as through the window.
#include "WindowHelpers.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/host/AccountFiles.h"
#include "platform/host/HostNetApi.h"
#include "support/ScriptedDialogs.h"
#include "ui/LookAndFeel.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace orvane::test;

namespace {

struct HostWindowMachine {
    QTemporaryDir dir;
    orvane::host::HostNetApi net;
    orvane::MachineRegistry registry{dir.path() + QStringLiteral("/machine")};
    ScriptedDialogs dialogs;
    orvane::DesktopShell shell;
    orvane::Platform platform() { return {net, registry, dialogs, shell}; }
};

QByteArray etcFile(const char* name) {
    QFile file(QStringLiteral("/etc/") + QLatin1StringView(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const orvane::host::GroupEntry* unixGroup(const std::vector<orvane::host::GroupEntry>& groups,
                                          const char* name) {
    for (const auto& group : groups)
        if (group.name == name)
            return &group;
    return nullptr;
}

QString line(const char16_t* verb, const QString& name, const char16_t* outcome) {
    return QString::fromUtf16(verb) + name + QString::fromUtf16(outcome);
}

} // namespace

class HostWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0)
            QSKIP("needs root over a private /etc (tests/support/with-private-etc)");
        orvane::ui::applyLookAndFeel();
    }

    void numberedRunMakesRealAccountsInUsers() {
        HostWindowMachine machine;
        auto form = showWindow(machine.platform());
        // The group list shows the groups by their names here.
        QVERIFY(rowNamed(form->ListView2, QStringLiteral("users")));
        QVERIFY(!rowNamed(form->ListView2, QStringLiteral("root")));

        form->Edit2->setText(QStringLiteral("hw"));
        form->Edit3->setText(QStringLiteral("1"));
        form->Edit4->setText(QStringLiteral("4"));
        form->Edit5->setText(QStringLiteral("Pa55word!x"));
        QTest::mouseClick(form->Button8, Qt::LeftButton);
        QStringList expected;
        for (int i = 1; i <= 4; ++i)
            expected << line(u"添加用户 ", QStringLiteral("hw%1").arg(i), u" 成功");
        QCOMPARE(logMessages(*form), expected);

        const auto passwd = orvane::host::parsePasswd(etcFile("passwd"));
        const auto groups = orvane::host::parseGroup(etcFile("group"));
        const auto* users = unixGroup(groups, "users");
        QVERIFY(users);
        for (int i = 1; i <= 4; ++i) {
            const QByteArray name = "hw" + QByteArray::number(i);
            QVERIFY2(std::any_of(passwd.begin(), passwd.end(),
                                 [&](const auto& e) { return e.name == name; }),
                     name.constData());
            QVERIFY2(std::find(users->members.begin(), users->members.end(), name) !=
                         users->members.end(),
                     name.constData());
            QTreeWidgetItem* row = rowNamed(form->ListView1, QString::fromLatin1(name));
            QVERIFY2(row, name.constData());
            // The home useradd gave it, which no one has made yet.
            QCOMPARE(row->text(2),
                     QStringLiteral("/home/%1 (目录不存在)").arg(QString::fromLatin1(name)));
            QVERIFY(row->text(4).contains(QStringLiteral("users | ")));
        }
    }

    void anExistingNameInAnyCaseFailsAndTheRestGoOn() {
        HostWindowMachine machine;
        auto form = showWindow(machine.platform());
        form->Edit2->setText(QStringLiteral("HW"));
        form->Edit3->setText(QStringLiteral("1"));
        form->Edit4->setText(QStringLiteral("1"));
        form->Edit5->setText(QStringLiteral("Pa55word!x"));
        QTest::mouseClick(form->Button8, Qt::LeftButton);
        QCOMPARE(logMessages(*form),
                 QStringList{line(u"添加用户 ", QStringLiteral("HW1"), u" 失败")});
        QVERIFY(!etcFile("passwd").contains("\nHW1:"));
    }

    void deletionRemovesTheAccountAndKeepsRootAndTheCaller() {
        HostWindowMachine machine;
        auto form = showWindow(machine.platform());
        selectRows(form->ListView1, {QStringLiteral("hw2"), QStringLiteral("hw3")});
        form->N10Click();
        QCOMPARE(logMessages(*form),
                 (QStringList{line(u"删除用户 ", QStringLiteral("hw2"), u" 成功"),
                              line(u"删除用户 ", QStringLiteral("hw3"), u" 成功")}));
        const QByteArray passwd = etcFile("passwd");
        QVERIFY(!passwd.contains("\nhw2:") && !passwd.contains("\nhw3:"));
        QVERIFY(passwd.contains("\nhw1:"));
        QVERIFY(!rowNamed(form->ListView1, QStringLiteral("hw2")));
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("hw1")));
    }
};

QTEST_MAIN(HostWindowTest)
#include "HostWindowTest.moc"
