// Registering home folders as home directories, and sharing them.
#include "WindowHelpers.h"
#include "platform/NTDShare.h"
#include "platform/netapi/NetBuffer.h"
#include "platform/netapi/WideText.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"

#include <QAction>
#include <QDir>
#include <QTest>

using namespace orvane::test;

namespace {

struct Share {
    QString name, remark, path;
    DWORD type, permissions, maxUses;
};

// The local machine's shares, in the order it lists them.
QList<Share> shares(TestMachine& machine) {
    orvane::NetBuffer<SHARE_INFO_2> buffer(machine.net);
    DWORD read = 0;
    DWORD total = 0;
    QList<Share> out;
    if (machine.net.NetShareEnum(nullptr, 2, buffer.out(), MAX_PREFERRED_LENGTH, &read, &total,
                                 nullptr) != 0)
        return out;
    for (const SHARE_INFO_2& share : buffer.entries(read))
        out.append({orvane::fromWide(share.shi2_netname), orvane::fromWide(share.shi2_remark),
                    orvane::fromWide(share.shi2_path), share.shi2_type, share.shi2_permissions,
                    share.shi2_max_uses});
    return out;
}

// A folder path of exactly the length, ending in the leaf, below the base;
// the folders between are named to fit.
QString folderOfLength(const QString& base, qsizetype length, const char* leaf) {
    const QString last = u'/' + QLatin1String(leaf);
    QString path = base;
    qsizetype left = length - path.size() - last.size();
    while (left > 101) {
        path += u'/' + QString(99, u'd');
        left -= 100;
    }
    if (left >= 2)
        path += u'/' + QString(left - 1, u'e');
    return path + last;
}

} // namespace

class AssociationSharingTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> open(TestMachine& machine, const QStringList& accounts) {
        auto form = openWindow(machine, accounts);
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

    void sharedRecordAndOddHomeFolders() {
        TestMachine machine;
        auto form =
            open(machine, {QStringLiteral("u1"), QStringLiteral("root"), QStringLiteral("long")});
        const QString folder = form->hDirPath + QStringLiteral("u1");
        QVERIFY(QDir().mkdir(folder));
        QCOMPARE(machine.setHome(QStringLiteral("u1"), folder), 0u);
        // A home folder ending in its separator gives the empty share name.
        QCOMPARE(machine.setHome(QStringLiteral("root"), form->hDirPath), 0u);
        // 255 characters do not fit their buffer: the path goes as empty.
        const QString tooLong = folderOfLength(machine.path(QStringLiteral("x")), 255, "long");
        QVERIFY(QDir().mkpath(tooLong));
        QCOMPARE(machine.setHome(QStringLiteral("long"), tooLong), 0u);
        form->GetAccountList(form->mServerName);

        form->N7->trigger();
        form->N1->trigger();
        // Administrator and Guest have no home folder; the refusals are silent.
        QCOMPARE(logMessages(*form),
                 (QStringList{QString::fromUtf16(u"Administrator没有设置或创建个人主目录."),
                              QString::fromUtf16(u"Guest没有设置或创建个人主目录.")}));
        const QList<Share> made = shares(machine);
        QCOMPARE(made.size(), 1);
        QCOMPARE(made[0].name, QStringLiteral("u1"));
        QCOMPARE(made[0].remark, QString::fromUtf16(u"u1个人主文件夹"));
        QCOMPARE(made[0].path, folder);
        QCOMPARE(made[0].type, STYPE_DISKTREE);
        QCOMPARE(made[0].permissions, ACCESS_READ | ACCESS_WRITE | ACCESS_CREATE);
        QCOMPARE(made[0].maxUses, DWORD(-1));
        QCOMPARE(column(*form, "root", 3), QString::fromUtf16(u"未共享"));
        QCOMPARE(column(*form, "long", 3), QString::fromUtf16(u"未共享"));
    }

    void shareTextsAreCopiedWholeOrNotAtAll() {
        TestMachine machine;
        const QString fits = folderOfLength(machine.path(QStringLiteral("a")), 254, "fits");
        const QString over = folderOfLength(machine.path(QStringLiteral("b")), 255, "over");
        QVERIFY(QDir().mkpath(fits));
        QVERIFY(QDir().mkpath(over));
        QCOMPARE(fits.size(), 254);
        QCOMPARE(over.size(), 255);
        QCOMPARE(orvane::AddDirShare(machine.net, QString(), fits, QStringLiteral("fits"),
                                     QString(254, u'r')),
                 0u);
        // A remark one character longer is passed as the empty remark.
        QCOMPARE(orvane::AddDirShare(machine.net, QString(), fits, QStringLiteral("again"),
                                     QString(255, u'r')),
                 0u);
        QVERIFY(orvane::AddDirShare(machine.net, QString(), over, QStringLiteral("over"),
                                    QStringLiteral("r")) != 0);
        const QList<Share> made = shares(machine);
        QCOMPARE(made.size(), 2);
        QCOMPARE(made[0].path, fits);
        QCOMPARE(made[0].remark, QString(254, u'r'));
        QCOMPARE(made[1].name, QStringLiteral("again"));
        QCOMPARE(made[1].remark, QString());
    }
};

QTEST_MAIN(AssociationSharingTest)
#include "AssociationSharingTest.moc"
