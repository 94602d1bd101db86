// Start-up with its logon context, and the home root kept in the registry.
#include "core/Text.h"
#include "platform/RegistryKey.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"
#include "ui/UserMMain.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using orvane::test::ScopedEnv;
using orvane::test::TestMachine;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\ROrirAridEzo\\");
const QString kValue = QStringLiteral("MHomePath");
const QString sep(orvane::PathDelimiter);

std::unique_ptr<TUMainForm> openWindow(TestMachine& machine) {
    return std::make_unique<TUMainForm>(machine.platform());
}

QString stored(TestMachine& machine) {
    return orvane::RegistryKey(machine.registry, kKey, false).ReadString(kValue);
}

QByteArray utf16le(const QString& text) {
    QByteArray data;
    for (QChar c : text) {
        data.append(char(c.unicode() & 0xff));
        data.append(char(c.unicode() >> 8));
    }
    return data + QByteArray(2, '\0');
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void qtsOwnButtonsSpeakChinese() {
        // Under any locale, as the test runs under C.
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Open);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QString::fromUtf16(u"取消"));
        QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QString::fromUtf16(u"打开"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"),
                 QString::fromUtf16(u"查找范围："));
    }

    void logonContextComesFromTheEnvironment() {
        TestMachine machine;
        const QString server = QStringLiteral("\\\\") + machine.net.machineName();
        ScopedEnv logon("LOGONSERVER", server);
        ScopedEnv domain("USERDOMAIN", QStringLiteral("WORKGROUP"));
        ScopedEnv user("USERNAME", QStringLiteral("Administrator"));
        auto form = openWindow(machine);
        QCOMPARE(form->mServerName, server);
        QCOMPARE(form->StatusPanels[0]->text(), server);
        QCOMPARE(form->StatusPanels[1]->text(), QStringLiteral("WORKGROUP"));
        QCOMPARE(form->StatusPanels[2]->text(), QStringLiteral("Administrator"));
        QCOMPARE(form->StatusPanels[4]->text(), QString());
        form->show();
        // The machine named as logon server is this one: its accounts show.
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
        QVERIFY(form->ListView2->topLevelItemCount() > 3);
    }

    void withoutTheEnvironmentTheListsShowTheLocalMachine() {
        TestMachine machine;
        ScopedEnv logon("LOGONSERVER", std::nullopt);
        ScopedEnv domain("USERDOMAIN", std::nullopt);
        ScopedEnv username("USERNAME", std::nullopt);
        ScopedEnv user("USER", std::nullopt);
        auto form = openWindow(machine);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(form->StatusPanels[i]->text(), QString());
        form->show();
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
        QCOMPARE(form->ListView2->topLevelItem(0)->text(0), QStringLiteral("Administrators"));
        QVERIFY(machine.dialogs.errors.empty());
    }

    void theUserVariableStandsForUsername() {
        TestMachine machine;
        ScopedEnv username("USERNAME", std::nullopt);
        ScopedEnv user("USER", QStringLiteral("operator"));
        auto form = openWindow(machine);
        QCOMPARE(form->LUser, QStringLiteral("operator"));
        QCOMPARE(form->StatusPanels[2]->text(), QStringLiteral("operator"));
    }

    void anUnreachableLogonServerLeavesBothListsEmpty() {
        TestMachine machine;
        ScopedEnv logon("LOGONSERVER", QStringLiteral("\\\\ELSEWHERE"));
        auto form = openWindow(machine);
        form->show();
        QCOMPARE(form->ListView1->topLevelItemCount(), 0);
        QCOMPARE(form->ListView2->topLevelItemCount(), 0);
        QVERIFY(machine.dialogs.errors.empty());
    }

    void theListsAreFilledBeforeTheWindowIsShown() {
        TestMachine machine;
        auto form = openWindow(machine);
        QCOMPARE(form->ListView1->topLevelItemCount(), 0);
        form->show();
        // No turn of the event loop yet: show() itself filled both lists.
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
        QVERIFY(form->ListView2->topLevelItemCount() > 0);
        QVERIFY(form->isVisible());
        // Shown again (restored), the lists are not filled a second time.
        form->hide();
        form->show();
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
    }

    void firstRunCreatesTheKeyAndShowsTheBareSeparator() {
        TestMachine machine;
        auto form = openWindow(machine);
        QCOMPARE(form->hDirPath, sep);
        QCOMPARE(form->mDirPathEdit->text(), sep);
        QCOMPARE(form->StatusPanels[3]->text(), sep);
        QVERIFY(machine.registry.openKey(kKey, false));
        QVERIFY(!machine.registry.queryValue(kKey, kValue));
    }

    void storedPathGetsOneTrailingSeparator() {
        TestMachine machine;
        QVERIFY(machine.registry.openKey(kKey, true));
        const QString home = machine.path(QStringLiteral("Home"));
        QVERIFY(machine.registry.setValue(kKey, kValue, {orvane::RegSz, utf16le(home)}));
        QCOMPARE(openWindow(machine)->hDirPath, home + sep);
        QVERIFY(machine.registry.setValue(kKey, kValue, {orvane::RegSz, utf16le(home + sep)}));
        auto form = openWindow(machine);
        QCOMPARE(form->hDirPath, home + sep);
        QCOMPARE(form->mDirPathEdit->text(), home + sep);
    }

    void expandableStringIsUsedLiterally() {
        TestMachine machine;
        QVERIFY(machine.registry.openKey(kKey, true));
        QVERIFY(machine.registry.setValue(kKey, kValue,
                                          {orvane::RegExpandSz, utf16le("%SystemDrive%/Home")}));
        QCOMPARE(openWindow(machine)->hDirPath, QStringLiteral("%SystemDrive%/Home") + sep);
    }

    void valueOfAnotherTypeIsReportedAndEndsFormCreate() {
        TestMachine machine;
        ScopedEnv domain("USERDOMAIN", QStringLiteral("WORKGROUP"));
        QVERIFY(machine.registry.openKey(kKey, true));
        QVERIFY(machine.registry.setValue(kKey, kValue,
                                          {orvane::RegDword, QByteArray("\x07\0\0\0", 4)}));
        auto form = openWindow(machine);
        QCOMPARE(machine.dialogs.errors.size(), size_t(1));
        QCOMPARE(machine.dialogs.errors[0].title, QStringLiteral("Orvane"));
        // The text ends in a quote: no full stop is added.
        QCOMPARE(machine.dialogs.errors[0].text,
                 QStringLiteral("Invalid data type for 'MHomePath'"));
        QCOMPARE(form->hDirPath, QString());
        QCOMPARE(form->DomainName, QString());
        for (int i = 0; i < 4; ++i)
            QCOMPARE(form->StatusPanels[i]->text(), QString());
        QCOMPARE(form->mDirPathEdit->text(), QStringLiteral("D:\\"));
        // Start-up goes on: the lists are still filled.
        form->show();
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
    }

    void choosingAFolderStoresItAndShowsItBothWays() {
        TestMachine machine;
        const QString home = machine.path(QStringLiteral("Home"));
        QVERIFY(QDir().mkdir(home));
        {
            auto form = openWindow(machine);
            machine.dialogs.folderAnswers.push_back(home);
            QTest::mouseClick(form->Button5, Qt::LeftButton);
            QCOMPARE(machine.dialogs.folderRequests.size(), size_t(1));
            QCOMPARE(machine.dialogs.folderRequests[0].root, QStringLiteral("/"));
            QVERIFY(machine.dialogs.folderRequests[0].prompt.startsWith(
                QString::fromUtf16(u"选择用户主文件夹存放位置")));
            QCOMPARE(form->mDirPathEdit->text(), home);
            QCOMPARE(form->hDirPath, home + sep);
            QCOMPARE(form->StatusPanels[3]->text(), home + sep);
            QCOMPARE(stored(machine), home);
        }
        // After a restart the edit box shows it with the separator.
        auto form = openWindow(machine);
        QCOMPARE(form->mDirPathEdit->text(), home + sep);
    }

    void choosingTheRootGetsNoSecondSeparator() {
        TestMachine machine;
        auto form = openWindow(machine);
        machine.dialogs.folderAnswers.push_back(sep);
        form->Button5->click();
        QCOMPARE(form->mDirPathEdit->text(), sep);
        QCOMPARE(form->hDirPath, sep);
        QCOMPARE(stored(machine), sep);
    }

    void cancellingTheChooserChangesNothing() {
        TestMachine machine;
        const QString home = machine.path(QStringLiteral("Home"));
        QVERIFY(QDir().mkdir(home));
        auto form = openWindow(machine);
        machine.dialogs.folderAnswers.push_back(home);
        form->Button5->click();
        machine.dialogs.folderAnswers.push_back(std::nullopt);
        form->Button5->click();
        QCOMPARE(form->mDirPathEdit->text(), home);
        QCOMPARE(form->hDirPath, home + sep);
        QCOMPARE(stored(machine), home);
        QVERIFY(machine.dialogs.errors.empty());
    }

    void aFailedWriteIsReportedAfterTheWindowChanged() {
        // The registry's folder cannot be made: a file stands in its way.
        orvane::test::TestMachine machine;
        QFile blocker(machine.path(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        orvane::MachineRegistry unwritable(blocker.fileName() + QStringLiteral("/machine"));
        TUMainForm form(orvane::Platform{machine.net, unwritable, machine.dialogs, machine.shell});
        QCOMPARE(form.hDirPath, sep);
        const QString home = machine.path(QStringLiteral("Home"));
        machine.dialogs.folderAnswers.push_back(home);
        form.Button5->click();
        QCOMPARE(machine.dialogs.errors.size(), size_t(1));
        QCOMPARE(machine.dialogs.errors[0].text,
                 QStringLiteral("Failed to set data for 'MHomePath'"));
        QCOMPARE(form.mDirPathEdit->text(), home);
        QCOMPARE(form.hDirPath, home + sep);
        QCOMPARE(form.StatusPanels[3]->text(), sep);
    }
};

QTEST_MAIN(StartupTest)
#include "StartupTest.moc"
