#include "BenchMachine.h"

#include "platform/embedded/MachineDatabase.h"

#include "ui/LookAndFeel.h"

#include <QApplication>
#include <QDir>
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdexcept>

namespace orvane::bench {

namespace {

void check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        throw std::runtime_error(sqlite3_errmsg(db));
}

void bind(sqlite3_stmt* stmt, int index, const QString& text) {
    sqlite3_bind_text16(stmt, index, text.utf16(), int(text.size() * 2), SQLITE_TRANSIENT);
}

} // namespace

BenchMachine::BenchMachine(int accounts, int shares)
    : folder(dir.path() + QStringLiteral("/machine")) {
    // Creating the machine through the service seeds it; the bulk of the
    // accounts goes straight into its tables, since hashing 100,000
    // passwords would take minutes and is not what is measured.
    net = std::make_unique<embedded::EmbeddedNetApi>(folder);
    registry = std::make_unique<MachineRegistry>(folder);
    const QString homes = dir.path() + QStringLiteral("/homes");
    QDir().mkpath(homes);

    sqlite3* db = nullptr;
    check(sqlite3_open((folder + QStringLiteral("/machine.db")).toUtf8().constData(), &db), db);
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* account = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO accounts (name, name_key, password_hash, password_set, "
                             "priv, home_dir, comment, flags) VALUES (?, ?, '', 0, 1, ?, ?, 66049)",
                             -1, &account, nullptr),
          db);
    sqlite3_stmt* member = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO memberships (group_rid, account_rid) VALUES (545, ?)",
                             -1, &member, nullptr),
          db);
    sqlite3_stmt* share = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO shares (name, name_key, type, remark, permissions, "
                             "max_uses, current_uses, path) VALUES (?, ?, 0, '', 7, -1, 10, ?)",
                             -1, &share, nullptr),
          db);
    int shared = 0;
    for (int i = 0; i < accounts; ++i) {
        const QString name = QStringLiteral("BENCH%1").arg(i);
        QString home;
        if (i % 2 == 0) {
            home = homes + u'/' + name;
            QDir().mkdir(home);
        }
        bind(account, 1, name);
        bind(account, 2, name.toCaseFolded());
        bind(account, 3, home);
        bind(account, 4, QStringLiteral("benchmark account"));
        check(sqlite3_step(account), db);
        sqlite3_reset(account);
        sqlite3_bind_int64(member, 1, sqlite3_last_insert_rowid(db));
        check(sqlite3_step(member), db);
        sqlite3_reset(member);
        if (!home.isEmpty() && shared < shares) {
            bind(share, 1, name);
            bind(share, 2, name.toCaseFolded());
            bind(share, 3, home);
            check(sqlite3_step(share), db);
            sqlite3_reset(share);
            ++shared;
        }
    }
    sqlite3_finalize(account);
    sqlite3_finalize(member);
    sqlite3_finalize(share);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

int runBenchmarks(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::applyLookAndFeel();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace orvane::bench
