// The window's account list on a domain controller the size of a school's:
// the rows are exactly the server's accounts, and the same whether the list
// is read from the directory in bulk or asked of the server account by
// account. scripts/test-samba runs this against a DC of its own, filled by
// scripts/samba/populate.
#include "WindowHelpers.h"
#include "platform/netapi/NetBuffer.h"
#include "platform/samba/SambaNetApi.h"
#include "support/SambaTestServer.h"
#include "support/ScriptedDialogs.h"
#include "ui/LookAndFeel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTest>
#include <cstdlib>

using namespace orvane::test;
using orvane::NetBuffer;
using orvane::samba::SambaNetApi;
using orvane::samba::ServerNames;

namespace {

// libnetapi's answer for an account in one of the domain's own local groups.
constexpr NET_API_STATUS ERROR_SOME_NOT_MAPPED = 1301;
constexpr int kAccounts = 1000;
const QString kPrefix = QStringLiteral("dom");

// A row as the window shows it: its five columns and which icon it has.
struct Row {
    QStringList columns;
    int icon = -1;
    bool operator==(const Row&) const = default;
};

QString describe(const Row& row) {
    return row.columns.join(QStringLiteral(" ; ")) + QStringLiteral(" icon ") +
           QString::number(row.icon);
}

struct Refill {
    QMap<QString, Row> rows;
    QStringList order;
    qint64 milliseconds = 0;
    bool fromDirectory = false;
};

// Opens the window on the test server; `again` refills its list once more, timed.
Refill refill(SambaNetApi::Directory directory, bool again) {
    QTemporaryDir dir;
    SambaNetApi net(SambaTestServer::credentials(),
                    ServerNames(QString(), ServerNames::thisMachine()), SambaNetApi::kRecycleAfter,
                    directory);
    orvane::MachineRegistry registry(dir.path() + QStringLiteral("/machine"));
    ScriptedDialogs dialogs;
    orvane::DesktopShell shell;
    auto form = showWindow({net, registry, dialogs, shell});
    Refill out;
    if (again) {
        QElapsedTimer timer;
        timer.start();
        form->GetAccountList(form->mServerName);
        out.milliseconds = timer.elapsed();
    }
    for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = form->ListView1->topLevelItem(i);
        Row row;
        for (int column = 0; column < 5; ++column)
            row.columns << item->text(column);
        for (int icon = 0; icon < form->ImageList1.size(); ++icon)
            if (item->icon(0).cacheKey() == form->ImageList1[icon].cacheKey())
                row.icon = icon;
        out.order << row.columns[0];
        out.rows.insert(row.columns[0], row);
    }
    out.fromDirectory = net.listedFromDirectory();
    return out;
}

// Every account as a level-1 listing gives it, by name.
QMap<QString, USER_INFO_1> records(orvane::NetApi& net, QList<QStringList>& texts) {
    QMap<QString, USER_INFO_1> out;
    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        NetBuffer<USER_INFO_1> buffer(net);
        DWORD read = 0, total = 0;
        status = net.NetUserEnum(nullptr, 1, 0, buffer.out(), 0, &read, &total, &resume);
        for (const USER_INFO_1& user : buffer.entries(read)) {
            const QString name = orvane::fromWide(user.usri1_name);
            texts << QStringList{name, orvane::fromWide(user.usri1_comment),
                                 orvane::fromWide(user.usri1_home_dir),
                                 orvane::fromWide(user.usri1_script_path)};
            USER_INFO_1 copy = user;
            copy.usri1_name = copy.usri1_comment = copy.usri1_home_dir = copy.usri1_script_path =
                nullptr;
            out.insert(name, copy);
        }
    } while (status == ERROR_MORE_DATA);
    return out;
}

} // namespace

class SambaDomainTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (const std::string why = SambaTestServer::unavailable(); !why.empty())
            QSKIP(why.c_str());
        if (SambaTestServer::kind() != u"dc")
            QSKIP("a domain's directory is a domain controller's");
        orvane::ui::applyLookAndFeel();
        const QString populate =
            QFileInfo(qEnvironmentVariable("ORVANE_TEST_SAMBA_CONTROL")).dir().filePath("populate");
        const CommandResult filled = SambaTestServer::run(
            {populate, "--prefix", kPrefix, "--total", QString::number(kAccounts), "--fixture"});
        QVERIFY2(filled.status == 0, qPrintable(filled.output));
    }

    void rowsAreTheServersAccountsAndTheSameReadInBulkOrOneByOne() {
        const Refill bulk = refill(SambaNetApi::Directory::WhereThereIsOne, true);
        const Refill single = refill(SambaNetApi::Directory::Never, false);
        qInfo("a refill of %lld rows from the directory: %lld ms", qlonglong(bulk.rows.size()),
              bulk.milliseconds);
        QVERIFY(bulk.fromDirectory);
        QVERIFY(!single.fromDirectory);

        QStringList server = SambaTestServer::accounts();
        server.sort();
        QStringList shown = bulk.rows.keys();
        shown.sort();
        QCOMPARE(shown, server);
        QVERIFY(shown.size() > kAccounts);
        QCOMPARE(bulk.order, single.order);

        // Where the server cannot name an account's groups one by one (it
        // answers 1301 for an account in a group of its domain), the
        // directory names them.
        SambaNetApi net(SambaTestServer::credentials(),
                        ServerNames(QString(), ServerNames::thisMachine()),
                        SambaNetApi::kRecycleAfter, SambaNetApi::Directory::Never);
        int differing = 0;
        for (const QString& name : bulk.order) {
            const Row& row = bulk.rows[name];
            if (row == single.rows[name])
                continue;
            ++differing;
            NetBuffer<LOCALGROUP_USERS_INFO_0> groups(net);
            DWORD read = 0, total = 0;
            const NET_API_STATUS status =
                net.NetUserGetLocalGroups(nullptr, orvane::wideText(name), 0, LG_INCLUDE_INDIRECT,
                                          groups.out(), MAX_PREFERRED_LENGTH, &read, &total);
            QVERIFY2(status == ERROR_SOME_NOT_MAPPED,
                     qPrintable(QString::number(status) + u' ' + describe(row) + " / " +
                                describe(single.rows[name])));
            Row withoutGroups = row;
            withoutGroups.columns[4].clear();
            QCOMPARE(withoutGroups, single.rows[name]);
            QVERIFY2(!row.columns[4].isEmpty(), qPrintable(name));
        }
        QVERIFY(differing <= 2);
        QVERIFY(bulk.rows[QStringLiteral("Administrator")].columns[4].contains(
            QStringLiteral("Administrators | ")));

        // The awkward cases, as both ways show them.
        const auto columns = [&](const QString& leaf) { return bulk.rows[kPrefix + leaf].columns; };
        QCOMPARE(columns("twin")[3], kPrefix + "twin | " + columns("twin")[2]);
        QCOMPARE(columns("case")[3], QString::fromUtf16(u"未共享"));
        QCOMPARE(columns("slash")[3], QString::fromUtf16(u"未共享"));
        QVERIFY(columns("gone")[2].endsWith(QString::fromUtf16(u" (目录不存在)")));
        QVERIFY(columns("twin")[4].contains(QStringLiteral("Users | ")));
        const QString nested = kPrefix + QStringLiteral("5");
        QVERIFY2(bulk.rows[nested].columns[4].contains(QStringLiteral("Remote Desktop Users | ")),
                 qPrintable(describe(bulk.rows[nested])));
        QVERIFY(bulk.rows[nested].columns[4].contains(QStringLiteral("Users | ")));
    }

    void recordsAreTheSameReadInBulkOrOneByOne() {
        QList<QStringList> bulkTexts, singleTexts;
        QMap<QString, USER_INFO_1> bulk, single;
        {
            SambaNetApi net(SambaTestServer::credentials(),
                            ServerNames(QString(), ServerNames::thisMachine()));
            bulk = records(net, bulkTexts);
            QVERIFY(net.listedFromDirectory());
        }
        {
            SambaNetApi net(SambaTestServer::credentials(),
                            ServerNames(QString(), ServerNames::thisMachine()),
                            SambaNetApi::kRecycleAfter, SambaNetApi::Directory::Never);
            single = records(net, singleTexts);
        }
        QCOMPARE(bulkTexts, singleTexts);
        QCOMPARE(bulk.keys(), single.keys());
        for (auto it = bulk.cbegin(); it != bulk.cend(); ++it) {
            const USER_INFO_1& a = it.value();
            const USER_INFO_1& b = single[it.key()];
            QVERIFY2(a.usri1_priv == b.usri1_priv, qPrintable(it.key()));
            QVERIFY2(
                a.usri1_flags == b.usri1_flags,
                qPrintable(
                    it.key() +
                    QStringLiteral(" %1 %2").arg(a.usri1_flags, 0, 16).arg(b.usri1_flags, 0, 16)));
            // Both count to their own clock; the second read came later.
            QVERIFY2(std::abs(qint64(a.usri1_password_age) - qint64(b.usri1_password_age)) < 600,
                     qPrintable(it.key()));
        }
        QCOMPARE(bulk[kPrefix + "off"].usri1_flags & UF_ACCOUNTDISABLE, UF_ACCOUNTDISABLE);
        QCOMPARE(bulk[QStringLiteral("Administrator")].usri1_priv, USER_PRIV_ADMIN);
        QCOMPARE(bulk[QStringLiteral("Guest")].usri1_priv, USER_PRIV_GUEST);
    }
};

QTEST_MAIN(SambaDomainTest)
#include "SambaDomainTest.moc"
