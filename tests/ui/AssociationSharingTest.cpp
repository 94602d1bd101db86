// Registering home folders as home directories, and sharing them.
#include "WindowHelpers.h"
#include "platform/NTDShare.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"

#include <QDir>
#include <QTest>

using namespace orvane::test;

class AssociationSharingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> open(TestMachine& machine, const QStringList& accounts) {
        for (const QString& name : accounts)
            if (machine.addUser(name) != 0)
                qWarning() << "cannot add" << name;
        auto form = std::make_unique<TUMainForm>(machine.platform());
        form->show();
        form->hDirPath = machine.path(QStringLiteral("homes/"));
        QDir().mkpath(form->hDirPath);
        return form;
    }
    static QString column(TUMainForm& form, const char* name, int index) {
        return rowNamed(form.ListView1, QLatin1String(name))->text(index);
    }

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void associateNeedsTheFolderAndReplacesAnEarlierHome() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1")});
        const QString folder = form->hDirPath + QStringLiteral("u1");
        const QString elsewhere = machine.path(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkdir(elsewhere));
        QCOMPARE(machine.setHome(QStringLiteral("u1"), elsewhere), 0u);
        form->GetAccountList(form->mServerName);

        selectRows(form->ListView1, {QStringLiteral("u1")});
        form->N15->trigger();
        QCOMPARE(logMessages(*form).last(), QString::fromUtf16(u"该用户的主文件夹 ") + folder +
                                                QString::fromUtf16(u" 不存在,请创建后再关联."));
        QCOMPARE(column(*form, "u1", 2), elsewhere);

        QVERIFY(QDir().mkdir(folder));
        selectRows(form->ListView1, {QStringLiteral("u1")});
        form->N15->trigger();
        QCOMPARE(logMessages(*form).last(), QString::fromUtf16(u"u1 已关联主文件夹 ") + folder);
        QCOMPARE(column(*form, "u1", 2), folder);
        QCOMPARE(column(*form, "u1", 3), QString::fromUtf16(u"未共享"));
        QVERIFY(selectedNames(form->ListView1).isEmpty());
    }

    void clearingFallsBackToTheDefaultAndKeepsTheFolder() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1"), QStringLiteral("plain")});
        const QString folder = form->hDirPath + QStringLiteral("u1");
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(machine.setHome(QStringLiteral("u1"), folder), 0u);
        form->GetAccountList(form->mServerName);
        selectRows(form->ListView1, {QStringLiteral("u1"), QStringLiteral("plain")});
        form->N16->trigger();
        // An account without a home directory is cleared all the same.
        QCOMPARE(logMessages(*form),
                 (QStringList{QString::fromUtf16(u"u1 已撤销关联主文件夹  恢复默认"),
                              QString::fromUtf16(u"plain 已撤销关联主文件夹  恢复默认")}));
        QCOMPARE(column(*form, "u1", 2), QString::fromUtf16(u"(默认)"));
        QCOMPARE(column(*form, "u1", 3), QStringLiteral("--"));
        QVERIFY(QDir(folder).exists());
    }

    void sharingAndUnsharing() {
        TestMachine machine;
        auto form = open(machine, {QStringLiteral("u1"), QStringLiteral("nohome")});
        const QString folder = form->hDirPath + QStringLiteral("u1");
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(machine.setHome(QStringLiteral("u1"), folder), 0u);
        form->GetAccountList(form->mServerName);

        selectRows(form->ListView1, {QStringLiteral("u1"), QStringLiteral("nohome")});
        form->N1->trigger();
        QCOMPARE(logMessages(*form),
                 QStringList{QString::fromUtf16(u"nohome没有设置或创建个人主目录.")});
        QCOMPARE(column(*form, "u1", 3), QStringLiteral("u1 | ") + folder);
        // Twice: the name is taken, the service refuses, nothing is logged.
        selectRows(form->ListView1, {QStringLiteral("u1")});
        form->N1->trigger();
        QCOMPARE(form->ListBox1->count(), 1);
        QCOMPARE(column(*form, "u1", 3), QStringLiteral("u1 | ") + folder);

        // Unsharing rows that read "--" or the share: only the share goes.
        selectRows(form->ListView1, {QStringLiteral("u1"), QStringLiteral("nohome")});
        form->N2->trigger();
        QCOMPARE(column(*form, "u1", 3), QString::fromUtf16(u"未共享"));
        selectRows(form->ListView1, {QStringLiteral("u1")});
        form->N2->trigger();
        QCOMPARE(column(*form, "u1", 3), QString::fromUtf16(u"未共享"));
        QCOMPARE(form->ListBox1->count(), 1);
    }

    void shareRecordTextsOfTheirBufferSize() {
        TestMachine machine;
        const QString folder = machine.path(QStringLiteral("f"));
        QVERIFY(QDir().mkdir(folder));
        // A folder ending in its separator gives the empty share name.
        QVERIFY(orvane::AddDirShare(machine.net, QString(), folder + u'/', QString(),
                                    QString::fromUtf16(u"个人主文件夹")) != 0);
        // 254 characters fit their buffer; 255 are passed as the empty text.
        QCOMPARE(orvane::AddDirShare(machine.net, QString(), folder, QStringLiteral("s"),
                                     QString(254, u'r')),
                 0u);
        QVERIFY(orvane::AddDirShare(machine.net, QString(), folder, QString(255, u'n'),
                                    QStringLiteral("r")) != 0);
        QString deep = machine.path(QString());
        while (deep.size() < 255)
            deep += QStringLiteral("d/");
        deep.truncate(255);
        QVERIFY(orvane::AddDirShare(machine.net, QString(), deep, QStringLiteral("deep"),
                                    QStringLiteral("r")) != 0);
    }
};

QTEST_MAIN(AssociationSharingTest)
#include "AssociationSharingTest.moc"
