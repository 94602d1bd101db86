// The window's account-list refill against the throwaway domain controller,
// grown by scripts/samba/populate from one size to the next, timed beside
// what the server itself needs to hand over the same facts in bulk: an
// ldbsearch over LDAP for the accounts and one for the groups, each timed as
// a whole process, as a script of the administrator's would run it.
// uses-programs: ldbsearch (and the project's own scripts/samba/populate)
#include "SambaRefillBench.h"

#include "BenchMachine.h"
#include "TimedNetApi.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/samba/SambaNetApi.h"
#include "support/SambaTestServer.h"
#include "ui/UserMMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

using orvane::bench::TimedNetApi;
using orvane::samba::SambaNetApi;
using orvane::samba::ServerNames;
using orvane::test::SambaTestServer;

namespace orvane::bench::refill {

namespace {

using Clock = std::chrono::steady_clock;

// The goals the summary checks.
constexpr double kSecondsAt3000 = 1.5;
constexpr double kSecondsAt10000 = 4;
constexpr double kTimesServer = 5;
// Runs of the server's answer at each size: it is quick and varies.
constexpr int kLdapRuns = 3;

// What a normal account is to the server: no machines, no trusts.
const QString kAccountsFilter = QStringLiteral("(sAMAccountType=805306368)");
const QStringList kAccountAttributes = {
    QStringLiteral("sAMAccountName"),     QStringLiteral("description"),
    QStringLiteral("homeDirectory"),      QStringLiteral("scriptPath"),
    QStringLiteral("userAccountControl"), QStringLiteral("msDS-User-Account-Control-Computed"),
    QStringLiteral("pwdLastSet"),         QStringLiteral("objectSid"),
    QStringLiteral("primaryGroupID"),     QStringLiteral("memberOf")};
const QString kGroupsFilter = QStringLiteral("(objectClass=group)");
const QStringList kGroupAttributes = {QStringLiteral("sAMAccountName"), QStringLiteral("objectSid"),
                                      QStringLiteral("groupType"), QStringLiteral("member")};

double secondsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

std::vector<int> sizes() {
    const QString text = qEnvironmentVariableIsSet("ORVANE_BENCH_SIZES")
                             ? qEnvironmentVariable("ORVANE_BENCH_SIZES")
                             : QStringLiteral("1000 3000 10000");
    std::vector<int> out;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& word : text.split(separators, Qt::SkipEmptyParts)) {
        bool ok = false;
        const int size = word.toInt(&ok);
        if (!ok || size <= 0) {
            std::fprintf(stderr, "ORVANE_BENCH_SIZES: %s is no number of accounts\n",
                         qPrintable(word));
            std::exit(2);
        }
        out.push_back(size);
    }
    // The domain only grows.
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

// A refill that would run longer than this, judged from the last size, is
// not started: the adapter of old needs minutes at a few thousand accounts.
double refillLimitSeconds() {
    bool ok = false;
    const double limit = qEnvironmentVariable("ORVANE_BENCH_REFILL_LIMIT").toDouble(&ok);
    return ok && limit > 0 ? limit : 600;
}

struct LdapAnswer {
    double seconds = 0;
    int entries = -1;
    QString error;
};

QString baseDn() {
    QStringList parts;
    for (const QString& label :
         qEnvironmentVariable("ORVANE_TEST_SAMBA_REALM").split(u'.', Qt::SkipEmptyParts))
        parts << QStringLiteral("DC=") + label;
    return parts.join(u',');
}

// One ldbsearch process, start to end; the password goes in its environment.
LdapAnswer ldapSearch(const QString& filter, const QStringList& attributes) {
    LdapAnswer answer;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("ldbsearch"));
    if (program.isEmpty()) {
        answer.error = QStringLiteral("no ldbsearch (scripts/deps --test installs ldb-tools)");
        return answer;
    }
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PASSWD"), SambaTestServer::password());
    process.setProcessEnvironment(environment);
    const QStringList arguments =
        QStringList{QStringLiteral("-H"),
                    QStringLiteral("ldap://") + SambaTestServer::address(),
                    QStringLiteral("-U"),
                    SambaTestServer::user(),
                    QStringLiteral("-b"),
                    baseDn(),
                    filter} +
        attributes;
    const Clock::time_point start = Clock::now();
    process.start(program, arguments);
    const bool finished = process.waitForFinished(300000);
    answer.seconds = secondsBetween(start, Clock::now());
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        answer.error = QStringLiteral("ldbsearch failed: ") +
                       QString::fromUtf8(process.readAllStandardError()).trimmed().right(300);
        return answer;
    }
    static const QRegularExpression entries(QStringLiteral("^# (\\d+) entries$"),
                                            QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = entries.match(output);
    if (match.hasMatch())
        answer.entries = match.captured(1).toInt();
    else
        answer.error = QStringLiteral("ldbsearch printed no entry count");
    return answer;
}

// What one size of the domain gave.
struct Size {
    double populateSeconds = -1;
    int serverAccounts = -1;   // ldbsearch's normal accounts
    int toolAccounts = -1;     // samba-tool user list
    double refillSeconds = -1; // -1: not measured
    int rows = -1;
    double enumSeconds = 0, groupsSeconds = 0, sharesSeconds = 0;
    long enumCalls = 0, groupsCalls = 0, sharesCalls = 0;
    std::vector<double> ldapUsers, ldapGroups;
    QString refillNote;

    double ldapSeconds() const {
        if (ldapUsers.empty())
            return -1;
        double sum = 0;
        for (std::size_t i = 0; i < ldapUsers.size(); ++i)
            sum += ldapUsers[i] + ldapGroups[i];
        return sum / double(ldapUsers.size());
    }
};

std::map<int, Size> g_sizes;

QString populateScript() {
    return QFileInfo(qEnvironmentVariable("ORVANE_TEST_SAMBA_CONTROL"))
        .dir()
        .filePath(QStringLiteral("populate"));
}

// Grows the domain to `size` populated accounts, once per size.
bool ensurePopulated(benchmark::State& state, int size) {
    Size& record = g_sizes[size];
    if (record.populateSeconds >= 0)
        return true;
    const Clock::time_point start = Clock::now();
    const orvane::test::CommandResult result =
        SambaTestServer::run({populateScript(), QStringLiteral("--total"), QString::number(size)});
    record.populateSeconds = secondsBetween(start, Clock::now());
    if (result.status != 0) {
        record.populateSeconds = -1;
        state.SkipWithError(
            (QStringLiteral("populate failed: ") + result.output.trimmed()).toStdString().c_str());
        return false;
    }
    std::fprintf(stderr, "%s\n", qPrintable(result.output.trimmed()));
    const LdapAnswer accounts = ldapSearch(kAccountsFilter, {QStringLiteral("sAMAccountName")});
    record.serverAccounts = accounts.entries;
    record.toolAccounts = int(SambaTestServer::accounts().size());
    return true;
}

// The DC's LDAP service comes up a second or so after the SMB one that the
// server's start waits for: the window must meet the whole server.
void waitForDirectory() {
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(30);
    while (!ldapSearch(QStringLiteral("(sAMAccountName=%1)").arg(SambaTestServer::user()),
                       {QStringLiteral("sAMAccountName")})
                .error.isEmpty() &&
           Clock::now() < deadline)
        QThread::msleep(200);
}

// One window for every size, as an administrator keeps it open while the
// domain grows. Shown before the first growth, so that its own first fill
// is of the small domain.
struct Window {
    QTemporaryDir dir;
    SambaNetApi samba{SambaTestServer::credentials(),
                      ServerNames(QString(), ServerNames::thisMachine())};
    TimedNetApi net{samba};
    orvane::MachineRegistry registry{dir.path() + QStringLiteral("/machine")};
    orvane::bench::SilentDialogs dialogs;
    orvane::DesktopShell shell;
    TUMainForm form{orvane::Platform{net, registry, dialogs, shell}};

    Window() {
        waitForDirectory();
        form.show();
        QApplication::processEvents();
    }
};

std::unique_ptr<Window> g_window;

Window& window() {
    if (!g_window)
        g_window = std::make_unique<Window>();
    return *g_window;
}

void BM_AccountListRefill(benchmark::State& state) {
    const int size = int(state.range(0));
    if (!serverHere(state))
        return;
    Window& w = window();
    if (!ensurePopulated(state, size))
        return;
    Size& record = g_sizes[size];

    // Judged from the largest size refilled so far, as if it grew linearly.
    for (auto it = g_sizes.rbegin(); it != g_sizes.rend(); ++it) {
        if (it->first >= size || it->second.refillSeconds < 0)
            continue;
        const double projected = it->second.refillSeconds * size / it->first;
        if (projected > refillLimitSeconds()) {
            record.refillNote = QStringLiteral("not started: %1 s at %2 accounts makes about %3 s "
                                               "here (ORVANE_BENCH_REFILL_LIMIT %4 s)")
                                    .arg(it->second.refillSeconds, 0, 'f', 1)
                                    .arg(it->first)
                                    .arg(projected, 0, 'f', 0)
                                    .arg(refillLimitSeconds(), 0, 'f', 0);
            state.SkipWithError(record.refillNote.toStdString().c_str());
            return;
        }
        break;
    }

    for (auto _ : state) {
        w.net.reset();
        const Clock::time_point start = Clock::now();
        w.form.GetAccountList(w.form.mServerName);
        const double seconds = secondsBetween(start, Clock::now());
        state.SetIterationTime(seconds);
        record.refillSeconds = seconds;
        record.rows = w.form.ListView1->topLevelItemCount();
        record.enumSeconds = w.net.seconds(TimedNetApi::UserEnum);
        record.enumCalls = w.net.calls(TimedNetApi::UserEnum);
        record.groupsSeconds = w.net.seconds(TimedNetApi::UserGetLocalGroups);
        record.groupsCalls = w.net.calls(TimedNetApi::UserGetLocalGroups);
        record.sharesSeconds = w.net.seconds(TimedNetApi::ShareEnum);
        record.sharesCalls = w.net.calls(TimedNetApi::ShareEnum);
    }
    state.counters["rows"] = record.rows;
    state.counters["server_accounts"] = record.serverAccounts;
    state.counters["NetUserEnum_s"] = record.enumSeconds;
    state.counters["NetUserGetLocalGroups_s"] = record.groupsSeconds;
    state.counters["NetShareEnum_s"] = record.sharesSeconds;
    if (record.rows != record.serverAccounts)
        state.SkipWithError(QStringLiteral("%1 rows, but the server has %2 accounts")
                                .arg(record.rows)
                                .arg(record.serverAccounts)
                                .toStdString()
                                .c_str());
}

void BM_ServerBulkAnswer(benchmark::State& state) {
    const int size = int(state.range(0));
    if (!serverHere(state) || !ensurePopulated(state, size))
        return;
    Size& record = g_sizes[size];
    for (auto _ : state) {
        const LdapAnswer users = ldapSearch(kAccountsFilter, kAccountAttributes);
        const LdapAnswer groups = ldapSearch(kGroupsFilter, kGroupAttributes);
        if (!users.error.isEmpty() || !groups.error.isEmpty()) {
            state.SkipWithError((users.error + u' ' + groups.error).toStdString().c_str());
            return;
        }
        state.SetIterationTime(users.seconds + groups.seconds);
        record.ldapUsers.push_back(users.seconds);
        record.ldapGroups.push_back(groups.seconds);
        state.counters["accounts"] = users.entries;
        state.counters["groups"] = groups.entries;
    }
}

const char* verdict(bool met) {
    return met ? "MET" : "MISSED";
}

} // namespace

bool serverHere(benchmark::State& state) {
    if (const std::string why = SambaTestServer::unavailable(); !why.empty()) {
        state.SkipWithError(why.c_str());
        return false;
    }
    return true;
}

void registerBenchmarks() {
    for (const int size : sizes()) {
        benchmark::RegisterBenchmark("BM_AccountListRefill", BM_AccountListRefill)
            ->Arg(size)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(1);
        benchmark::RegisterBenchmark("BM_ServerBulkAnswer", BM_ServerBulkAnswer)
            ->Arg(size)
            ->Unit(benchmark::kMillisecond)
            ->UseManualTime()
            ->Iterations(kLdapRuns);
    }
}

void finish() {
    g_window.reset();
}

void printSummary() {
    if (g_sizes.empty())
        return;
    std::printf("\nAccount list refill on the domain controller, beside the server's bulk answer "
                "over LDAP (accounts + groups, mean of %d runs)\n",
                kLdapRuns);
    std::printf("  %8s %7s %7s %7s %10s %14s %8s %9s\n", "accounts", "rows", "server", "tool",
                "refill s", "ldbsearch s", "ratio", "populate");
    for (const auto& [size, r] : g_sizes) {
        const double ldap = r.ldapSeconds();
        char refill[32] = "-", ldapText[48] = "-", ratio[16] = "-";
        if (r.refillSeconds >= 0)
            std::snprintf(refill, sizeof refill, "%.2f", r.refillSeconds);
        if (ldap >= 0)
            std::snprintf(ldapText, sizeof ldapText, "%.2f", ldap);
        if (r.refillSeconds >= 0 && ldap > 0)
            std::snprintf(ratio, sizeof ratio, "%.1fx", r.refillSeconds / ldap);
        std::printf("  %8d %7d %7d %7d %10s %14s %8s %8.1fs\n", size, r.rows, r.serverAccounts,
                    r.toolAccounts, refill, ldapText, ratio, r.populateSeconds);
        if (r.refillSeconds >= 0)
            std::printf(
                "      refill: NetUserEnum %.2f s in %ld calls, NetUserGetLocalGroups %.2f s "
                "in %ld calls, NetShareEnum %.2f s in %ld calls, rows and the rest %.2f s\n",
                r.enumSeconds, r.enumCalls, r.groupsSeconds, r.groupsCalls, r.sharesSeconds,
                r.sharesCalls, r.refillSeconds - r.enumSeconds - r.groupsSeconds - r.sharesSeconds);
        if (!r.ldapUsers.empty()) {
            double users = 0, groups = 0;
            for (std::size_t i = 0; i < r.ldapUsers.size(); ++i) {
                users += r.ldapUsers[i];
                groups += r.ldapGroups[i];
            }
            const double n = double(r.ldapUsers.size());
            std::printf("      ldbsearch: accounts %.2f s, groups %.2f s\n", users / n, groups / n);
        }
        if (!r.refillNote.isEmpty())
            std::printf("      refill %s\n", qPrintable(r.refillNote));
    }

    const auto refilled = [](int size) -> const Size* {
        const auto it = g_sizes.find(size);
        return it != g_sizes.end() && it->second.refillSeconds >= 0 ? &it->second : nullptr;
    };
    const std::pair<int, double> limits[] = {{3000, kSecondsAt3000}, {10000, kSecondsAt10000}};
    for (const auto& [size, limit] : limits) {
        if (const Size* r = refilled(size))
            std::printf("Goal: %d accounts refilled in <= %.1f s: %.2f s  %s\n", size, limit,
                        r->refillSeconds, verdict(r->refillSeconds <= limit));
        else
            std::printf("Goal: %d accounts refilled in <= %.1f s: not measured\n", size, limit);
    }
    const Size* small = refilled(3000);
    const Size* large = refilled(10000);
    if (small && large && small->rows > 0) {
        const double grew = large->refillSeconds / small->refillSeconds;
        const double rows = double(large->rows) / small->rows;
        std::printf("Goal: no worse than linear from 3000 to 10000: time x%.2f for rows x%.2f  "
                    "%s\n",
                    grew, rows, verdict(grew <= rows));
    } else {
        std::printf("Goal: no worse than linear from 3000 to 10000: not measured\n");
    }
    for (const auto& [size, r] : g_sizes) {
        const double ldap = r.ldapSeconds();
        if (r.refillSeconds >= 0 && ldap > 0)
            std::printf("Goal: refill within %.0fx the server's bulk answer at %d: %.1fx  %s\n",
                        kTimesServer, size, r.refillSeconds / ldap,
                        verdict(r.refillSeconds <= kTimesServer * ldap));
        else
            std::printf("Goal: refill within %.0fx the server's bulk answer at %d: not measured\n",
                        kTimesServer, size);
    }
    for (const auto& [size, r] : g_sizes)
        if (r.rows >= 0)
            std::printf("Check: rows at %d are the server's accounts: %d rows, ldbsearch %d, "
                        "samba-tool %d  %s\n",
                        size, r.rows, r.serverAccounts, r.toolAccounts,
                        r.rows == r.serverAccounts && r.rows == r.toolAccounts ? "OK" : "FAILED");
    std::fflush(stdout);
}

} // namespace orvane::bench::refill
