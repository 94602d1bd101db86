// The account list's selection commands and menu, group membership by drop
// and by menu, marking a group's members, and deleting accounts.
#include "WindowHelpers.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTimer>

using namespace orvane::test;

namespace {
const QString kUsers = QStringLiteral("Users");
const QString kRemote = QStringLiteral("Remote Desktop Users");

QString addLine(const QString& name, const QString& group) {
    return QString::fromUtf16(u"添加") + name + QString::fromUtf16(u" 到 ") + group +
           QString::fromUtf16(u" 组");
}
QString removeLine(const QString& name, const QString& group) {
    return QString::fromUtf16(u"从") + group + QString::fromUtf16(u"组中移除") + name;
}
} // namespace

class MenuMembershipTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> open(TestMachine& machine, const QStringList& accounts) {
        auto form = openWindow(machine, accounts);
        return form;
    }
    static QList<QAction*> selectionEntries(TUMainForm& form) {
        return {form.N10, form.N11, form.N12, form.N13, form.N14, form.N15,
                form.N16, form.N1,  form.N2,  form.N4,  form.N6};
    }

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void menuEnablesTheAccountEntriesOnlyWithASelection() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("a")});
        form->PopupMenu1Popup();
        for (QAction* entry : selectionEntries(*form))
            QVERIFY2(!entry->isEnabled(), qPrintable(entry->objectName()));
        for (QAction* entry :
             {form->N7, form->N8, form->N9, form->N18, form->N5, form->N3, form->N17})
            QVERIFY(entry->isEnabled());
        selectRows(form->ListView1, {QStringLiteral("a")});
        // Whether a group is selected plays no part.
        emit form->PopupMenu1->aboutToShow();
        for (QAction* entry : selectionEntries(*form))
            QVERIFY2(entry->isEnabled(), qPrintable(entry->objectName()));
        // After a refresh nothing is selected, and the entries are off again.
        form->N9->trigger();
        QVERIFY(selectedNames(form->ListView1).isEmpty());
        emit form->PopupMenu1->aboutToShow();
        QVERIFY(!form->N10->isEnabled());
    }

    void selectAllInvertAndCtrlA() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("a"), QStringLiteral("b")});
        QTreeWidget* list = form->ListView1;
        selectRows(list, {QStringLiteral("a")});
        form->N8->trigger();
        QCOMPARE(selectedNames(list), (QStringList{QStringLiteral("Administrator"),
                                                   QStringLiteral("Guest"), QStringLiteral("b")}));
        form->N8->trigger();
        QCOMPARE(selectedNames(list), QStringList{QStringLiteral("a")});
        form->N7->trigger();
        QCOMPARE(selectedNames(list).size(), 4);

        list->clearSelection();
        list->setFocus();
        // A alone is the list's own type-to-find, not select-all.
        QTest::keyClick(list, Qt::Key_A);
        QVERIFY(selectedNames(list).size() < 4);
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(selectedNames(list).size(), 4);
        list->clearSelection();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(selectedNames(list).size(), 4);
    }

    void emptyListSelectsNothing() {
        TestMachine machine;
        orvane::test::ScopedEnv server("LOGONSERVER", QStringLiteral("\\\\ELSEWHERE"));
        auto form = open(machine, {});
        QCOMPARE(form->ListView1->topLevelItemCount(), 0);
        form->N7->trigger();
        form->N8->trigger();
        form->PopupMenu1Popup();
        QVERIFY(!form->N10->isEnabled());
    }

    void droppingSelectedRowsOnAGroupAddsThem() {
        TestMachine machine;
        auto form =
            open(machine, {QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u3")});
        selectRows(form->ListView1, {QStringLiteral("u1"), QStringLiteral("u3")});
        QTreeWidgetItem* users = rowNamed(form->ListView2, kUsers);
        const QPoint on = form->ListView2->visualItemRect(users).center();
        QVERIFY(dropAt(form->ListView2->viewport(), on));
        QCOMPARE(logMessages(*form), (QStringList{addLine(QStringLiteral("u1"), kUsers),
                                                  addLine(QStringLiteral("u3"), kUsers)}));
        QCOMPARE(machine.groupsOf(QStringLiteral("u3")), QStringList{kUsers});
        QCOMPARE(machine.groupsOf(QStringLiteral("u2")), QStringList());
        QVERIFY(selectedNames(form->ListView1).isEmpty());
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("u1"))->text(4),
                 QStringLiteral("Users | "));
    }

    void dropsThatAddNothing() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1")});
        selectRows(form->ListView1, {QStringLiteral("u1")});
        // Below the last group.
        form->resize(784, 1200);
        QTreeWidgetItem* last =
            form->ListView2->topLevelItem(form->ListView2->topLevelItemCount() - 1);
        const QPoint below(5, form->ListView2->visualItemRect(last).bottom() + 4);
        QVERIFY(!form->ListView2->itemAt(below));
        QVERIFY(dropAt(form->ListView2->viewport(), below));
        // On the account list itself: accepted, and nothing happens.
        QVERIFY(dropAt(form->ListView1->viewport(), QPoint(5, 5)));
        QCOMPARE(form->ListBox1->count(), 0);
        QCOMPARE(selectedNames(form->ListView1), QStringList{QStringLiteral("u1")});
        QCOMPARE(machine.groupsOf(QStringLiteral("u1")), QStringList());
    }

    void noDropTakesRowsAwayWhateverTheModifiers() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1"), QStringLiteral("u2")});
        // The account list offers its rows for copying only, so no target can
        // take a move and have the view remove them.
        QCOMPARE(form->ListView1->model()->supportedDragActions(), Qt::CopyAction);
        selectRows(form->ListView1, {QStringLiteral("u1")});
        const int accounts = form->ListView1->topLevelItemCount();
        const int groups = form->ListView2->topLevelItemCount();
        for (Qt::KeyboardModifiers held :
             {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ShiftModifier),
              Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
            QCOMPARE(dropAt(form->ListView1->viewport(), QPoint(5, 5), held), Qt::CopyAction);
            QCOMPARE(dropAt(form->ListView2->viewport(), QPoint(5, 2000), held), Qt::CopyAction);
        }
        QCOMPARE(form->ListView1->topLevelItemCount(), accounts);
        QCOMPARE(form->ListView2->topLevelItemCount(), groups);
    }

    void menuAddAndRemoveActOnTheSelectedGroup() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1"), QStringLiteral("u2")});
        selectRows(form->ListView1, {QStringLiteral("u1"), QStringLiteral("u2")});
        // Without a selected group both do nothing at all.
        form->N4->trigger();
        form->N6->trigger();
        QCOMPARE(form->ListBox1->count(), 0);
        QCOMPARE(selectedNames(form->ListView1).size(), 2);

        selectGroup(*form, kRemote);
        form->N4->trigger();
        QCOMPARE(machine.groupsOf(QStringLiteral("u2")), QStringList{kRemote});
        // Already a member: the ordinary line, the state asked for holds.
        selectRows(form->ListView1, {QStringLiteral("u1")});
        form->N4->trigger();
        selectRows(form->ListView1, {QStringLiteral("u1"), QStringLiteral("u2")});
        form->N6->trigger();
        // Not a member any more: the ordinary line again.
        selectRows(form->ListView1, {QStringLiteral("u2")});
        form->N6->trigger();
        QCOMPARE(logMessages(*form), (QStringList{addLine(QStringLiteral("u1"), kRemote),
                                                  addLine(QStringLiteral("u2"), kRemote),
                                                  addLine(QStringLiteral("u1"), kRemote),
                                                  removeLine(QStringLiteral("u1"), kRemote),
                                                  removeLine(QStringLiteral("u2"), kRemote),
                                                  removeLine(QStringLiteral("u2"), kRemote)}));
        QCOMPARE(machine.groupsOf(QStringLiteral("u1")), QStringList());
    }

    void failedMembershipChangesSaySo() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1")});
        selectRows(form->ListView1, {QStringLiteral("u1")});
        form->AddGroupS(QStringLiteral("No Such Group"));
        QCOMPARE(logMessages(*form).last(),
                 addLine(QStringLiteral("u1"), QStringLiteral("No Such Group")) +
                     QString::fromUtf16(u" 失败"));
        // The account vanished after the list was filled.
        QCOMPARE(machine.net.NetUserDel(nullptr, orvane::wideText(QStringLiteral("u1"))), 0u);
        selectRows(form->ListView1, {QStringLiteral("u1")});
        selectGroup(*form, kUsers);
        form->N6->trigger();
        QCOMPARE(logMessages(*form).last(),
                 removeLine(QStringLiteral("u1"), kUsers) + QString::fromUtf16(u" 失败"));
    }

    void doubleClickMarksTheMembersBySubstring() {
        TestMachine machine;
        auto form = open(
            machine, {QStringLiteral("both"), QStringLiteral("remote"), QStringLiteral("none")});
        QCOMPARE(machine.join(kUsers, QStringLiteral("both")), 0u);
        QCOMPARE(machine.join(kRemote, QStringLiteral("both")), 0u);
        QCOMPARE(machine.join(kRemote, QStringLiteral("remote")), 0u);
        form->GetAccountList(form->mServerName);
        selectRows(form->ListView1, {QStringLiteral("none"), QStringLiteral("Guest")});
        selectGroup(*form, kUsers);
        form->ListView2DblClick();
        // "Users" is part of "Remote Desktop Users"; the old selection is gone.
        QCOMPARE(selectedNames(form->ListView1),
                 (QStringList{QStringLiteral("both"), QStringLiteral("remote")}));
        selectGroup(*form, QStringLiteral("Administrators"));
        form->ListView2DblClick();
        QCOMPARE(selectedNames(form->ListView1), QStringList{QStringLiteral("Administrator")});
        QCOMPARE(form->ListBox1->count(), 0);

        // Letter case counts: a row naming "users" only in other case stays out.
        rowNamed(form->ListView1, QStringLiteral("none"))->setText(4, QStringLiteral("users | "));
        selectGroup(*form, kUsers);
        form->ListView2DblClick();
        QVERIFY(!selectedNames(form->ListView1).contains(QStringLiteral("none")));
        // No group selected: nothing changes.
        form->ListView2->clearSelection();
        form->ListView2DblClick();
        QCOMPARE(selectedNames(form->ListView1),
                 (QStringList{QStringLiteral("both"), QStringLiteral("remote")}));
    }

    void deletionSkipsTheProtectedAccounts() {
        TestMachine machine;
        orvane::test::ScopedEnv user("USERNAME", QStringLiteral("me"));
        auto form = open(machine, {QStringLiteral("me"), QStringLiteral("gone")});
        form->N7->trigger();
        form->N10->trigger();
        const QStringList lines = logMessages(*form);
        QCOMPARE(lines, (QStringList{
                            QString::fromUtf16(u"自动忽略系统内置账号 Administrator"),
                            QString::fromUtf16(u"自动忽略系统内置账号 Guest"),
                            QString::fromUtf16(u"自动忽略当前登录用户 me"),
                            QString::fromUtf16(u"删除用户 gone 成功"),
                        }));
        QCOMPARE(rowNames(form->ListView1),
                 (QStringList{QStringLiteral("Administrator"), QStringLiteral("Guest"),
                              QStringLiteral("me")}));
    }

    void protectionComparesLetterCase() {
        TestMachine machine;
        orvane::test::ScopedEnv user("USERNAME", QStringLiteral("ME"));
        auto form = open(machine, {QStringLiteral("me")});
        selectRows(form->ListView1, {QStringLiteral("me")});
        form->N10->trigger();
        QCOMPARE(logMessages(*form), QStringList{QString::fromUtf16(u"删除用户 me 成功")});
        QVERIFY(!machine.groupsOf(QStringLiteral("me")));
    }

    void deletingAsAdministratorWritesBothLines() {
        TestMachine machine;
        orvane::test::ScopedEnv user("USERNAME", QStringLiteral("Administrator"));
        auto form = open(machine, {QStringLiteral("x")});
        selectRows(form->ListView1, {QStringLiteral("Administrator")});
        form->N10->trigger();
        QCOMPARE(logMessages(*form),
                 (QStringList{QString::fromUtf16(u"自动忽略系统内置账号 Administrator"),
                              QString::fromUtf16(u"自动忽略当前登录用户 Administrator")}));
    }

    void deletionWithoutSelectionStillRefills() {
        TestMachine machine;
        orvane::test::ScopedEnv user("USERNAME", std::nullopt);
        orvane::test::ScopedEnv posixUser("USER", std::nullopt);
        auto form = open(machine, {QStringLiteral("a")});
        QCOMPARE(machine.addUser(QStringLiteral("later")), 0u);
        form->N10->trigger();
        QCOMPARE(form->ListBox1->count(), 0);
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("later")));
        // An account already gone from the machine is a failure line.
        QCOMPARE(machine.net.NetUserDel(nullptr, orvane::wideText(QStringLiteral("a"))), 0u);
        selectRows(form->ListView1, {QStringLiteral("a")});
        form->N10->trigger();
        QCOMPARE(logMessages(*form), QStringList{QString::fromUtf16(u"删除用户 a 失败")});
    }

    void aRefreshFromInsideAWalkIsRefused() {
        TestMachine machine;
        auto form =
            open(machine, {QStringLiteral("u1"), QStringLiteral("u2"), QStringLiteral("u3")});
        form->N7->trigger();
        selectGroup(*form, kRemote);
        // The first log line dispatches events: a refresh there would empty
        // the rows under the walk.
        QTimer::singleShot(0, form.get(), [&] {
            form->N9->trigger();
            form->N10->trigger();
        });
        form->N4->trigger();
        QCOMPARE(logMessages(*form).size(), 5);
        QCOMPARE(logMessages(*form).last(), addLine(QStringLiteral("u3"), kRemote));
        QCOMPARE(machine.groupsOf(QStringLiteral("u3")), QStringList{kRemote});
        QCOMPARE(form->ListView1->topLevelItemCount(), 5);
    }
};

QTEST_MAIN(MenuMembershipTest)
#include "MenuMembershipTest.moc"
