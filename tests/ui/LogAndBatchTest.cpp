// The execution log, the key filters and the numbered run of accounts.
#include "WindowHelpers.h"
#include "support/TestMachine.h"
#include "ui/LogListBox.h"
#include "ui/LookAndFeel.h"

#include <QAccessible>
#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace orvane::test;

class LogAndBatchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> open(TestMachine& machine) { return openWindow(machine); }
    void run(TUMainForm& form, const char* first, const char* last) {
        form.Edit3->setText(QLatin1String(first));
        form.Edit4->setText(QLatin1String(last));
        QTest::mouseClick(form.Button8, Qt::LeftButton);
    }
    static QString added(const QString& name) {
        return QString::fromUtf16(u"添加用户 ") + name + QString::fromUtf16(u" 成功");
    }
    static QString refused(const QString& name) {
        return QString::fromUtf16(u"添加用户 ") + name + QString::fromUtf16(u" 失败");
    }

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void logLineKeepsTheMessageAndStampsTheTime() {
        TestMachine machine;
        auto form = open(machine);
        QCOMPARE(form->ListBox1->count(), 0);
        QDateTime now(QDate(2013, 5, 6), QTime(9, 3, 21));
        form->setClock([&] { return now; });
        form->AddLogInfo(QString());
        form->AddLogInfo(QStringLiteral("  two spaces  "));
        now = QDateTime(QDate(2013, 5, 7), QTime(0, 0));
        form->AddLogInfo(QStringLiteral("midnight"));
        const QString stamp = QLocale::system().toString(QDate(2013, 5, 6), QLocale::ShortFormat);
        QVERIFY(form->ListBox1->item(0).startsWith(u'【' + stamp + u' '));
        QVERIFY(form->ListBox1->item(0).endsWith(QStringLiteral("】 ")));
        QVERIFY(form->ListBox1->item(1).endsWith(QStringLiteral("】   two spaces  ")));
        const QString midnight =
            QLocale::system().toString(QDate(2013, 5, 7), QLocale::ShortFormat);
        QCOMPARE(form->ListBox1->item(2), u'【' + midnight + QStringLiteral("】 midnight"));
    }

    void newestLineStaysInViewAndTheLogSurvivesRefills() {
        TestMachine machine;
        auto form = open(machine);
        for (int i = 0; i < 200; ++i)
            form->AddLogInfo(QString::number(i));
        const LogListBox* log = form->ListBox1;
        QCOMPARE(log->topIndex(), log->count() - log->visibleRows());
        QVERIFY(log->topIndex() > 0);
        form->GetAccountList(form->mServerName);
        QCOMPARE(log->count(), 200);
        QCOMPARE(logMessages(*form).last(), QStringLiteral("199"));
    }

    void keyFiltersDiscardWhatANameOrNumberCannotHold() {
        TestMachine machine;
        auto form = open(machine);
        form->Edit2->clear();
        form->Edit2->setFocus();
        QTest::keyClicks(form->Edit2, QStringLiteral("ab-_9 .Z/"));
        QCOMPARE(form->Edit2->text(), QStringLiteral("ab-_9Z"));
        QKeyEvent wide(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf16(u"用"));
        QCoreApplication::sendEvent(form->Edit2, &wide);
        QCOMPARE(form->Edit2->text(), QStringLiteral("ab-_9Z"));
        QTest::keyClick(form->Edit2, Qt::Key_Backspace);
        QCOMPARE(form->Edit2->text(), QStringLiteral("ab-_9"));

        for (QLineEdit* box : {form->Edit3, form->Edit4}) {
            box->clear();
            QTest::keyClicks(box, QStringLiteral("1a-2 3"));
            QCOMPARE(box->text(), QStringLiteral("123"));
            QTest::keyClick(box, Qt::Key_Backspace);
            QCOMPARE(box->text(), QStringLiteral("12"));
        }
        // The password box has no filter.
        form->Edit5->clear();
        QTest::keyClicks(form->Edit5, QStringLiteral("a b."));
        QCOMPARE(form->Edit5->text(), QStringLiteral("a b."));
    }

    void editingKeysAndShortcutsWorkInTheFilteredBoxes() {
        TestMachine machine;
        auto form = open(machine);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        form->Edit2->setFocus();
        QTRY_VERIFY(form->Edit2->hasFocus());
        // Tab moves on from each box to the next, Shift+Tab back.
        QTest::keyClick(form->Edit2, Qt::Key_Tab);
        QVERIFY(!form->Edit2->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QVERIFY(form->Edit2->hasFocus());

        form->Edit3->setText(QStringLiteral("123"));
        form->Edit3->setCursorPosition(0);
        QTest::keyClick(form->Edit3, Qt::Key_Delete);
        QCOMPARE(form->Edit3->text(), QStringLiteral("23"));
        QTest::keyClick(form->Edit3, Qt::Key_End);
        QTest::keyClick(form->Edit3, Qt::Key_Left);
        QTest::keyClick(form->Edit3, Qt::Key_Delete);
        QCOMPARE(form->Edit3->text(), QStringLiteral("2"));

        // Select all and copy, then paste over: what is pasted meets the rule.
        form->Edit4->setText(QStringLiteral("471"));
        QTest::keyClick(form->Edit4, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->Edit4, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("471"));
        QTest::keyClick(form->Edit4, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(form->Edit4->text(), QString());
        QTest::keyClick(form->Edit4, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(form->Edit4->text(), QStringLiteral("471"));
        QGuiApplication::clipboard()->setText(QString::fromUtf16(u"1 a-2３\t9"));
        QTest::keyClick(form->Edit4, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(form->Edit4, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form->Edit4->text(), QStringLiteral("129"));
        form->Edit2->clear();
        QGuiApplication::clipboard()->setText(QString::fromUtf16(u"st u-1/用_"));
        QTest::keyClick(form->Edit2, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(form->Edit2->text(), QStringLiteral("stu-1_"));
    }

    void textFromAnInputMethodMeetsTheRule() {
        TestMachine machine;
        auto form = open(machine);
        form->Edit2->setText(QStringLiteral("ab"));
        form->Edit2->setCursorPosition(1);
        QInputMethodEvent commit;
        commit.setCommitString(QString::fromUtf16(u"用户x1"));
        QCoreApplication::sendEvent(form->Edit2, &commit);
        QCOMPARE(form->Edit2->text(), QStringLiteral("ax1b"));
        QCOMPARE(form->Edit2->cursorPosition(), 3);
        form->Edit3->clear();
        QInputMethodEvent digits;
        digits.setCommitString(QString::fromUtf16(u"１2三4"));
        QCoreApplication::sendEvent(form->Edit3, &digits);
        QCOMPARE(form->Edit3->text(), QStringLiteral("24"));
    }

    void screenReadersSeeTheLogAsAList() {
        TestMachine machine;
        auto form = open(machine);
        LogListBox* log = form->ListBox1;
        for (int i = 0; i < 3; ++i)
            log->addItem(QStringLiteral("line %1").arg(i));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(log);
        QCOMPARE(list->role(), QAccessible::List);
        QCOMPARE(list->childCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QAccessibleInterface* line = list->child(i);
            QVERIFY(line);
            QCOMPARE(line->role(), QAccessible::ListItem);
            QCOMPARE(line->text(QAccessible::Name), QStringLiteral("line %1").arg(i));
            QCOMPARE(list->indexOfChild(line), i);
            QCOMPARE(line->parent(), list);
        }

        // That a new line is announced needs a screen reader's bus: the
        // desktop tests hear it through AT-SPI.

        // A long log: every line can be read, the newest as the first.
        for (int i = 0; i < 5000; ++i)
            log->addItem(QString::number(i));
        QCOMPARE(list->childCount(), log->count());
        for (int i = 0; i < log->count(); ++i)
            QCOMPARE(list->child(i)->text(QAccessible::Name), log->item(i));
        QCOMPARE(list->child(4)->text(QAccessible::Name), log->item(4));
    }

    void defaultRunCreatesOneHundredUsersMembers() {
        TestMachine machine;
        auto form = open(machine);
        QTest::mouseClick(form->Button8, Qt::LeftButton);
        QStringList expected;
        for (int i = 1; i <= 100; ++i)
            expected.append(added(QStringLiteral("GCUSER%1").arg(i)));
        QCOMPARE(logMessages(*form), expected);
        QCOMPARE(form->ListView1->topLevelItemCount(), 102);
        QCOMPARE(machine.groupsOf(QStringLiteral("GCUSER100")),
                 QStringList{QStringLiteral("Users")});
        QCOMPARE(rowNamed(form->ListView1, QStringLiteral("GCUSER1"))->text(4),
                 QStringLiteral("Users | "));
    }

    void numbersAreDecimalWithoutLeadingZeros() {
        TestMachine machine;
        auto form = open(machine);
        form->Edit2->setText(QStringLiteral("  P  "));
        run(*form, "007", "8");
        run(*form, "0", "0");
        run(*form, "1", "1");
        QCOMPARE(logMessages(*form),
                 (QStringList{added(QStringLiteral("P7")), added(QStringLiteral("P8")),
                              added(QStringLiteral("P0")), added(QStringLiteral("P1"))}));
        form->Edit2->clear();
        run(*form, "5", "6");
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("5")));
        QVERIFY(rowNamed(form->ListView1, QStringLiteral("6")));
    }

    void endBelowStartWritesOneHintAndDoesNothingElse() {
        TestMachine machine;
        auto form = open(machine);
        selectRows(form->ListView1, {QStringLiteral("Guest")});
        run(*form, "9", "4");
        QCOMPARE(logMessages(*form).size(), 1);
        QVERIFY(logMessages(*form)[0].contains(u'9') && logMessages(*form)[0].contains(u'4'));
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
        // No refill: the selection is still there.
        QCOMPARE(selectedNames(form->ListView1), QStringList{QStringLiteral("Guest")});
    }

    void anEmptyNumberBoxIsAnErrorBeforeAnythingHappens() {
        TestMachine machine;
        auto form = open(machine);
        run(*form, "", "");
        run(*form, "3", "");
        QCOMPARE(machine.dialogs.errors.size(), size_t(2));
        QCOMPARE(machine.dialogs.errors[0].text,
                 QStringLiteral("'''' is not a valid integer value."));
        QCOMPARE(machine.dialogs.errors[0].title, QStringLiteral("Orvane"));
        QCOMPARE(machine.dialogs.errors[1].text,
                 QStringLiteral("'''' is not a valid integer value."));
        QCOMPARE(form->ListBox1->count(), 0);
        QCOMPARE(form->ListView1->topLevelItemCount(), 2);
    }

    void failedCreationsAreReportedAndJoinNoGroup() {
        TestMachine machine;
        QCOMPARE(machine.addUser(QStringLiteral("GCUSER2")), 0u);
        auto form = open(machine);
        run(*form, "1", "3");
        QCOMPARE(logMessages(*form),
                 (QStringList{added(QStringLiteral("GCUSER1")), refused(QStringLiteral("GCUSER2")),
                              added(QStringLiteral("GCUSER3"))}));
        // The existing account was not put into Users.
        QCOMPARE(machine.groupsOf(QStringLiteral("GCUSER2")), QStringList());

        // A password the machine's policy refuses is a failure too.
        form->ListBox1->setCurrentRow(-1);
        form->Edit5->setText(QStringLiteral("12345678"));
        run(*form, "4", "4");
        QCOMPARE(logMessages(*form).last(), refused(QStringLiteral("GCUSER4")));
        QVERIFY(!machine.groupsOf(QStringLiteral("GCUSER4")));
    }

    void prefixAndPasswordAreReadAfreshForEveryNumber() {
        TestMachine machine;
        auto form = open(machine);
        // Runs from the first log line's event dispatch.
        QTimer::singleShot(0, form.get(), [&] { form->Edit2->setText(QStringLiteral("B")); });
        run(*form, "1", "3");
        QCOMPARE(logMessages(*form),
                 (QStringList{added(QStringLiteral("GCUSER1")), added(QStringLiteral("B2")),
                              added(QStringLiteral("B3"))}));
    }

    void otherCommandsAreRefusedWhileARunGoesOn() {
        TestMachine machine;
        auto form = open(machine);
        int refreshes = 0;
        QTimer::singleShot(0, form.get(), [&] {
            QVERIFY(form->commandRunning());
            form->N9->trigger();
            form->Button8->click();
            ++refreshes;
        });
        run(*form, "1", "20");
        QCOMPARE(refreshes, 1);
        QCOMPARE(logMessages(*form).size(), 20);
        QCOMPARE(form->ListView1->topLevelItemCount(), 22);
        QVERIFY(!form->commandRunning());
    }

    void closingTheWindowEndsARunningCommand() {
        TestMachine machine;
        auto form = open(machine);
        QTimer::singleShot(0, form.get(), [&] { form->close(); });
        run(*form, "1", "500");
        QVERIFY(!form->isVisible());
        QVERIFY(logMessages(*form).size() < 10);
        QVERIFY(!form->commandRunning());
    }
};

QTEST_MAIN(LogAndBatchTest)
#include "LogAndBatchTest.moc"
