// The account rows and the group rows, built from the embedded machine.
#include "support/RecordingNetApi.h"
#include "support/TestMachine.h"
#include "ui/LookAndFeel.h"
#include "ui/UserMMain.h"

#include <QDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using orvane::test::TestMachine;

namespace {

struct Row {
    QString name, comment, home, share, groups;
    qint64 icon;
};

Row row(QTreeWidget* list, const QString& name) {
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (item->text(0) == name)
            return {item->text(0), item->text(1), item->text(2),
                    item->text(3), item->text(4), item->icon(0).cacheKey()};
    }
    qWarning() << "no row" << name;
    return {};
}

QStringList names(QTreeWidget* list) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out.append(list->topLevelItem(i)->text(0));
    return out;
}

} // namespace

class ListsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TUMainForm> openWindow(TestMachine& machine) {
        auto form = std::make_unique<TUMainForm>(machine.platform());
        form->show();
        return form;
    }

private slots:
    void initTestCase() { orvane::ui::applyLookAndFeel(); }

    void homeFolderAndShareColumns() {
        TestMachine machine;
        const QString present = machine.path(QStringLiteral("present"));
        const QString shared = machine.path(QStringLiteral("shared"));
        const QString twice = machine.path(QStringLiteral("twice"));
        const QString nearMiss = machine.path(QStringLiteral("NearMiss"));
        const QString nearMissLower = machine.path(QStringLiteral("nearmiss"));
        for (const QString& folder : {present, shared, twice, nearMiss, nearMissLower})
            QVERIFY(QDir().mkdir(folder));
        const QString gone = machine.path(QStringLiteral("gone"));

        QCOMPARE(machine.addUser(QStringLiteral("plain"), QStringLiteral("Pa55word!"),
                                 QString::fromUtf16(u"普通用户")),
                 0u);
        const struct {
            const char* name;
            QString home;
        } homes[] = {{"present", present}, {"shared", shared},     {"twice", twice},
                     {"gone", gone},       {"caseMiss", nearMiss}, {"slashMiss", nearMiss}};
        for (const auto& h : homes) {
            QCOMPARE(machine.addUser(QLatin1String(h.name)), 0u);
            QCOMPARE(machine.setHome(QLatin1String(h.name), h.home), 0u);
        }
        QCOMPARE(machine.share(QStringLiteral("shared"), shared), 0u);
        QCOMPARE(machine.share(QStringLiteral("first"), twice), 0u);
        QCOMPARE(machine.share(QStringLiteral("second"), twice), 0u);
        // Shares whose paths differ only in letter case or by a separator.
        QCOMPARE(machine.share(QStringLiteral("lower"), nearMissLower), 0u);
        QCOMPARE(machine.share(QStringLiteral("slash"), nearMiss + u'/'), 0u);

        auto form = openWindow(machine);
        QTreeWidget* list = form->ListView1;
        const Row plain = row(list, QStringLiteral("plain"));
        QCOMPARE(plain.comment, QString::fromUtf16(u"普通用户"));
        QCOMPARE(plain.home, QString::fromUtf16(u"(默认)"));
        QCOMPARE(plain.share, QStringLiteral("--"));

        QCOMPARE(row(list, QStringLiteral("present")).home, present);
        QCOMPARE(row(list, QStringLiteral("present")).share, QString::fromUtf16(u"未共享"));
        QCOMPARE(row(list, QStringLiteral("shared")).share, QStringLiteral("shared | ") + shared);
        QCOMPARE(row(list, QStringLiteral("twice")).share, QStringLiteral("first | ") + twice);
        QCOMPARE(row(list, QStringLiteral("gone")).home,
                 gone + QString::fromUtf16(u" (目录不存在)"));
        QCOMPARE(row(list, QStringLiteral("gone")).share, QStringLiteral("--"));
        QCOMPARE(row(list, QStringLiteral("caseMiss")).share, QString::fromUtf16(u"未共享"));
        QCOMPARE(row(list, QStringLiteral("slashMiss")).share, QString::fromUtf16(u"未共享"));
    }

    // A site shares every home folder: a refill lists the shares once, not
    // once a row, and the next refill sees shares made since.
    void aRefillListsTheSharesOnce() {
        TestMachine machine;
        orvane::test::RecordingNetApi net(machine.net);
        constexpr int kShared = 40;
        for (int i = 0; i < kShared; ++i) {
            const QString name = QStringLiteral("sh%1").arg(i);
            const QString home = machine.path(name);
            QVERIFY(QDir().mkdir(home));
            QCOMPARE(machine.addUser(name), 0u);
            QCOMPARE(machine.setHome(name, home), 0u);
            if (i % 2 == 0)
                QCOMPARE(machine.share(name, home), 0u);
        }
        TUMainForm form(orvane::Platform{net, machine.registry, machine.dialogs, machine.shell});
        form.show();
        net.clear();
        form.GetAccountList(form.mServerName);
        QCOMPARE(net.callsOf(QStringLiteral("NetShareEnum")).size(), size_t(1));
        QCOMPARE(row(form.ListView1, "sh2").share, QStringLiteral("sh2 | ") + machine.path("sh2"));
        QCOMPARE(row(form.ListView1, "sh3").share, QString::fromUtf16(u"未共享"));

        QCOMPARE(machine.share(QStringLiteral("sh3"), machine.path("sh3")), 0u);
        form.GetAccountList(form.mServerName);
        QCOMPARE(row(form.ListView1, "sh3").share, QStringLiteral("sh3 | ") + machine.path("sh3"));
        // Outside a refill, each question lists the shares again.
        net.clear();
        QCOMPARE(form.Get_UF_ShareInfo(machine.path("sh3")),
                 QStringLiteral("sh3 | ") + machine.path("sh3"));
        QCOMPARE(form.Get_UF_ShareInfo(machine.path("sh5")), QString::fromUtf16(u"未共享"));
        QCOMPARE(net.callsOf(QStringLiteral("NetShareEnum")).size(), size_t(2));
    }

    void groupColumnAndIcons() {
        TestMachine machine;
        QCOMPARE(machine.addUser(QStringLiteral("member")), 0u);
        QCOMPARE(machine.addUser(QStringLiteral("loner")), 0u);
        QCOMPARE(machine.join(QStringLiteral("Users"), QStringLiteral("member")), 0u);
        QCOMPARE(machine.join(QStringLiteral("Remote Desktop Users"), QStringLiteral("member")),
                 0u);
        auto form = openWindow(machine);
        QTreeWidget* list = form->ListView1;
        QCOMPARE(row(list, QStringLiteral("member")).groups,
                 QStringLiteral("Users | Remote Desktop Users | "));
        QCOMPARE(row(list, QStringLiteral("loner")).groups, QString());
        QCOMPARE(row(list, QStringLiteral("Administrator")).groups,
                 QStringLiteral("Administrators | "));

        const qint64 ordinary = form->ImageList1[0].cacheKey();
        const qint64 special = form->ImageList1[1].cacheKey();
        QVERIFY(ordinary != special);
        QCOMPARE(row(list, QStringLiteral("member")).icon, ordinary);
        QCOMPARE(row(list, QStringLiteral("Administrator")).icon, special);
        QCOMPARE(row(list, QStringLiteral("Guest")).icon, special);

        QTreeWidget* groups = form->ListView2;
        QVERIFY(names(groups).contains(QStringLiteral("Remote Desktop Users")));
        QCOMPARE(groups->topLevelItem(0)->icon(0).cacheKey(), form->ImageList2[0].cacheKey());
        QCOMPARE(groups->topLevelItem(0)->columnCount(), 1);
    }

    void manyAccountsArriveInBatchesInTheirOrder() {
        TestMachine machine;
        QStringList expected = {QStringLiteral("Administrator"), QStringLiteral("Guest")};
        for (int i = 1; i <= 300; ++i) {
            const QString name = QStringLiteral("u%1").arg(i);
            QCOMPARE(machine.addUser(name), 0u);
            expected.append(name);
        }
        auto form = openWindow(machine);
        QCOMPARE(names(form->ListView1), expected);
    }

    void refreshingTwiceGivesTheSameRows() {
        TestMachine machine;
        QCOMPARE(machine.addUser(QStringLiteral("a")), 0u);
        auto form = openWindow(machine);
        const QStringList before = names(form->ListView1);
        form->GetAccountList(form->mServerName);
        form->GetAccountList(form->mServerName);
        QCOMPARE(names(form->ListView1), before);
        // The group list is filled once, at the first showing only.
        const int groups = form->ListView2->topLevelItemCount();
        form->hide();
        form->show();
        QCOMPARE(form->ListView2->topLevelItemCount(), groups);
    }

    void aRefillStartedWhileOneRunsDoesNotListAccountsTwice() {
        TestMachine machine;
        for (int i = 0; i < 200; ++i)
            QCOMPARE(machine.addUser(QStringLiteral("r%1").arg(i)), 0u);
        auto form = openWindow(machine);
        const int expected = form->ListView1->topLevelItemCount();
        // The first batch's event dispatch starts a second refill.
        bool started = false;
        QTimer::singleShot(0, form.get(), [&] {
            started = true;
            form->GetAccountList(form->mServerName);
        });
        form->GetAccountList(form->mServerName);
        QVERIFY(started);
        QCOMPARE(form->ListView1->topLevelItemCount(), expected);
    }
};

QTEST_MAIN(ListsTest)
#include "ListsTest.moc"
