// The host backend against the shadow suite's own ways of making many
// accounts, side by side in one run over the same private copy of /etc
// (scripts/bench-host starts it as root in a mount namespace of its own):
// every method starts from the same account files and hashes with the same
// method, and the files are put back after each.
// uses-programs: bash seq newusers useradd gpasswd chpasswd usermod smbpasswd testparm
#include "BenchMachine.h"
#include "TimedNetApi.h"
#include "platform/HomeFolderOwner.h"
#include "platform/HomeRoot.h"
#include "platform/PasswordHash.h"
#include "platform/Process.h"
#include "platform/host/AccountFiles.h"
#include "platform/host/HostNetApi.h"
#include "platform/host/LoginDefs.h"
#include "ui/UserMMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <unistd.h>

namespace {

using orvane::bench::TimedNetApi;

const int kAccounts = qEnvironmentVariableIntValue("ORVANE_BENCH_ACCOUNTS") > 0
                          ? qEnvironmentVariableIntValue("ORVANE_BENCH_ACCOUNTS")
                          : 1000;
const QString kPassword = QStringLiteral("Kx7#mWq2vLp9");

// The account files and Samba's account database as they were before a
// method ran, put back after it. Samba's database is put back as a new file
// renamed over it: a process that holds it open (the host backend keeps it
// open, as smbd does) must never see its content change underneath.
class SavedFiles {
public:
    SavedFiles() {
        for (const char* name : {"passwd", "shadow", "group", "gshadow", "subuid", "subgid"})
            save(QStringLiteral("/etc/") + QLatin1StringView(name), false);
        const orvane::ProcessResult privateDir = orvane::runProcess(
            QStringLiteral("/usr/bin/testparm"),
            {QStringLiteral("-s"), QStringLiteral("--parameter-name=private dir")});
        if (privateDir.succeeded())
            save(QString::fromUtf8(privateDir.output.trimmed()) + QStringLiteral("/passdb.tdb"),
                 true);
    }
    void restore() const {
        for (const auto& [path, saved] : m_files) {
            if (!saved.text) {
                QFile::remove(path);
                continue;
            }
            const QString target = saved.replaced ? path + QStringLiteral(".bench") : path;
            QFile file(target);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(*saved.text) < 0)
                qFatal("cannot put %s back", qPrintable(path));
            file.close();
            if (saved.replaced && ::rename(QFile::encodeName(target).constData(),
                                           QFile::encodeName(path).constData()) != 0)
                qFatal("cannot put %s back", qPrintable(path));
        }
    }

private:
    struct Saved {
        std::optional<QByteArray> text;
        bool replaced;
    };
    void save(const QString& path, bool replaced) {
        QFile file(path);
        m_files[path] = {file.open(QIODevice::ReadOnly) ? std::optional(file.readAll())
                                                        : std::nullopt,
                         replaced};
    }
    std::map<QString, Saved> m_files;
};

const SavedFiles& savedFiles() {
    static const SavedFiles files;
    return files;
}

bool sambaHere() {
    return QFile::exists(QStringLiteral("/usr/sbin/smbd")) &&
           QFile::exists(QStringLiteral("/etc/samba/smb.conf"));
}

orvane::host::HostPaths paths(bool samba) {
    orvane::host::HostPaths paths;
    if (!samba)
        paths.smbConf = QStringLiteral("/nonexistent/smb.conf");
    return paths;
}

int accountsNamed(const QString& prefix) {
    QFile passwd(QStringLiteral("/etc/passwd"));
    if (!passwd.open(QIODevice::ReadOnly))
        return -1;
    int count = 0;
    for (const QByteArray& line : passwd.readAll().split('\n'))
        count += line.startsWith(prefix.toUtf8()) && line.size() > prefix.size() &&
                 std::isdigit(static_cast<unsigned char>(line.at(prefix.size())));
    return count;
}

// Puts the files back; an error when the method did not make every account.
std::string finish(const QString& prefix) {
    const int made = accountsNamed(prefix);
    savedFiles().restore();
    if (made == kAccounts)
        return {};
    return QStringLiteral("%1 accounts were made, not %2").arg(made).arg(kAccounts).toStdString();
}

// The window's numbered run, each account put into Users, with the refill
// of the list that ends it.
void BM_WindowNumberedRun(benchmark::State& state) {
    const bool samba = state.range(0) != 0;
    if (samba && !sambaHere())
        return state.SkipWithError("Samba's file server is not installed");
    // The backend opens Samba's account database once per process, and the
    // file put back after a run is another one, which it leaves to smbpasswd:
    // only the first run with Samba measures the backend's own way.
    static int sambaRuns = 0;
    if (samba && sambaRuns++ > 0)
        return state.SkipWithError("Samba's database is opened once per process: run this "
                                   "benchmark once (no repetitions)");
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        orvane::host::HostNetApi net(paths(samba));
        orvane::MachineRegistry registry(dir.path() + QStringLiteral("/machine"));
        orvane::bench::SilentDialogs dialogs;
        orvane::DesktopShell shell;
        {
            TUMainForm form(orvane::Platform{net, registry, dialogs, shell});
            form.show();
            form.Edit2->setText(QStringLiteral("wn"));
            form.Edit3->setText(QStringLiteral("0"));
            form.Edit4->setText(QString::number(kAccounts - 1));
            form.Edit5->setText(kPassword);
            state.ResumeTiming();
            form.Button8->click();
            state.PauseTiming();
        }
        const std::string error = finish(QStringLiteral("wn"));
        state.ResumeTiming();
        if (!error.empty())
            return state.SkipWithError(error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kAccounts);
}
BENCHMARK(BM_WindowNumberedRun)
    ->ArgName("samba")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

// The same calls without the window: what the backend itself costs.
void BM_BackendCalls(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        orvane::host::HostNetApi net(paths(false));
        std::u16string users(u"Users");
        state.ResumeTiming();
        for (int i = 0; i < kAccounts; ++i) {
            std::u16string name = u"bc" + QString::number(i).toStdU16String();
            std::u16string password = kPassword.toStdU16String();
            USER_INFO_1 account{};
            account.usri1_name = name.data();
            account.usri1_password = password.data();
            account.usri1_priv = USER_PRIV_USER;
            account.usri1_flags = UF_SCRIPT | UF_DONT_EXPIRE_PASSWD;
            if (net.NetUserAdd(nullptr, 1, reinterpret_cast<LPBYTE>(&account), nullptr) !=
                NERR_Success)
                return state.SkipWithError("NetUserAdd failed");
            LOCALGROUP_MEMBERS_INFO_3 member{name.data()};
            net.NetLocalGroupAddMembers(nullptr, users.data(), 3, reinterpret_cast<LPBYTE>(&member),
                                        1);
        }
        state.PauseTiming();
        const std::string error = finish(QStringLiteral("bc"));
        state.ResumeTiming();
        if (!error.empty())
            return state.SkipWithError(error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kAccounts);
}
BENCHMARK(BM_BackendCalls)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// A script of the given text run by bash, with the hash and the password in
// its environment (a private copy of the machine: nobody else is there).
bool runScript(const QString& script) {
    QFile defs(QStringLiteral("/etc/login.defs"));
    const orvane::host::HashMethod method =
        orvane::host::LoginDefs::parse(defs.open(QIODevice::ReadOnly) ? defs.readAll()
                                                                      : QByteArray())
            .hashMethod();
    const QByteArray hash = orvane::hashPassword(kPassword, method.prefix, method.cost);
    const QString full = QStringLiteral("export HASH='%1' PASSWORD='%2'\n%3")
                             .arg(QString::fromLatin1(hash), kPassword, script);
    const orvane::ProcessResult result = orvane::runProcess(
        QStringLiteral("/bin/bash"), {QStringLiteral("-c"), full}, {}, std::chrono::hours(1));
    if (!result.succeeded())
        qWarning("%s", result.errors.constData());
    return result.succeeded();
}

void timedScript(benchmark::State& state, const QString& prefix, const QString& script) {
    for (auto _ : state) {
        if (!runScript(script))
            return state.SkipWithError("the script failed");
        state.PauseTiming();
        const std::string error = finish(prefix);
        state.ResumeTiming();
        if (!error.empty())
            return state.SkipWithError(error.c_str());
    }
    state.SetItemsProcessed(state.iterations() * kAccounts);
}

// newusers takes every account in one call; it hashes each password through
// PAM, whose method scripts/bench-host sets to login.defs' own.
void BM_Newusers(benchmark::State& state) {
    timedScript(state, QStringLiteral("nu"),
                QStringLiteral("for i in $(seq -w 0 %1); do "
                               "echo \"nu$i:$PASSWORD::::/home/nu$i:/bin/sh\"; done | newusers")
                    .arg(kAccounts - 1));
}
BENCHMARK(BM_Newusers)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// The administrator's shell loop: the hash made once, then one useradd and
// one gpasswd per account (and smbpasswd, with Samba).
void BM_UseraddGpasswdLoop(benchmark::State& state) {
    const bool samba = state.range(0) != 0;
    if (samba && !sambaHere())
        return state.SkipWithError("Samba's file server is not installed");
    timedScript(state, QStringLiteral("lp"),
                QStringLiteral("for i in $(seq -w 0 %1); do "
                               "useradd -M -p \"$HASH\" lp$i && gpasswd -a lp$i users >/dev/null "
                               "%2 || exit 1; done")
                    .arg(kAccounts - 1)
                    .arg(samba ? QStringLiteral("&& printf '%s\\n%s\\n' \"$PASSWORD\" "
                                                "\"$PASSWORD\" | smbpasswd -L -s -a lp$i "
                                                ">/dev/null")
                               : QString()));
}
BENCHMARK(BM_UseraddGpasswdLoop)
    ->ArgName("samba")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->UseRealTime();

// The backend's own steps from a shell, the hash kept off every command line
// (chpasswd -e reads it) and the group changed under the suite's lock.
void BM_UseraddChpasswdUsermodLoop(benchmark::State& state) {
    timedScript(state, QStringLiteral("sl"),
                QStringLiteral("for i in $(seq -w 0 %1); do "
                               "useradd -M sl$i && echo \"sl$i:$HASH\" | chpasswd -e && "
                               "usermod -a -G users sl$i || exit 1; done")
                    .arg(kAccounts - 1));
}
BENCHMARK(BM_UseraddChpasswdUsermodLoop)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// Accounts written straight into the private copy's files, every one in
// Users as a site's are: `count` accounts named PREFIX0.., from UID `firstUid`.
bool seedAccounts(const QByteArray& prefix, int count, int firstUid) {
    QFile passwd(QStringLiteral("/etc/passwd")), shadow(QStringLiteral("/etc/shadow")),
        group(QStringLiteral("/etc/group"));
    if (!passwd.open(QIODevice::Append) || !shadow.open(QIODevice::Append) ||
        !group.open(QIODevice::ReadWrite))
        return false;
    QByteArray users;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = prefix + QByteArray::number(i);
        passwd.write(name + ":x:" + QByteArray::number(firstUid + i) + ":100:" + prefix +
                     ":/home/" + name + ":/bin/sh\n");
        shadow.write(name + ":!:20000:0:99999:7:::\n");
        users += (users.isEmpty() ? "" : ",") + name;
    }
    QByteArray text = group.readAll();
    const qsizetype at = text.indexOf("\nusers:");
    const qsizetype end = text.indexOf('\n', at + 1);
    text.insert(end, (text.at(end - 1) == ':' ? "" : ",") + users);
    group.resize(0);
    return group.write(text) == text.size();
}

// The window's refill of a list of 10,000 of this machine's accounts.
void BM_WindowRefill10000(benchmark::State& state) {
    constexpr int kListed = 10000;
    if (!seedAccounts("rf", kListed, 20000))
        return state.SkipWithError("cannot write the private account files");
    QTemporaryDir dir;
    orvane::host::HostNetApi net(paths(false));
    orvane::MachineRegistry registry(dir.path() + QStringLiteral("/machine"));
    orvane::bench::SilentDialogs dialogs;
    orvane::DesktopShell shell;
    TUMainForm form(orvane::Platform{net, registry, dialogs, shell});
    // Shown or not: bench_account_list times the embedded machine unshown.
    if (qEnvironmentVariableIsSet("ORVANE_BENCH_SHOWN"))
        form.show();
    for (auto _ : state)
        form.GetAccountList(QString());
    const int rows = form.ListView1->topLevelItemCount();
    savedFiles().restore();
    if (rows < kListed)
        state.SkipWithError(QStringLiteral("%1 rows").arg(rows).toStdString().c_str());
    state.SetItemsProcessed(state.iterations() * kListed);
}
BENCHMARK(BM_WindowRefill10000)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// How many of the seeded accounts hf<first>..hf<last> have their folder under
// homes registered as their home in the account files (and, when owned, the
// folder is theirs).
int homesInPlace(const QString& homes, int first, int last, bool owned) {
    QFile passwd(QStringLiteral("/etc/passwd"));
    if (!passwd.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray accounts = passwd.readAll();
    int count = 0;
    for (int i = first; i <= last; ++i) {
        const QString home = homes + QStringLiteral("/hf%1").arg(i);
        count += (!owned || QFileInfo(home).ownerId() == uint(30000 + i)) &&
                 accounts.contains(':' + QFile::encodeName(home) + ':');
    }
    return count;
}

// The accounts' folders made under two new folders of `under` in turns, one
// as made and one given to its account, so that both meet the file system
// alike: the seconds of the first kind, and what giving added.
std::optional<std::pair<double, double>> madeAndOwnedSeconds(const QString& under) {
    const QString made = under + QStringLiteral("/made"), owned = under + QStringLiteral("/owned");
    if (!QDir().mkdir(made) || !QDir().mkdir(owned))
        return std::nullopt;
    const orvane::HomeRoot madeRoot = orvane::HomeRoot::open(made);
    const orvane::HomeRoot ownedRoot = orvane::HomeRoot::open(owned);
    orvane::HomeFolderOwners owners(orvane::NewHomeFolders::ToLocalAccount);
    std::int64_t makeNs = 0, ownNs = 0;
    QElapsedTimer timer;
    for (int i = 0; i < kAccounts; ++i) {
        const QString name = QStringLiteral("hf%1").arg(i);
        timer.start();
        if (madeRoot.createFolder(name) != 0)
            return std::nullopt;
        makeNs += timer.nsecsElapsed();
        timer.start();
        if (ownedRoot.createFolder(name, owners.of(name)) != 0)
            return std::nullopt;
        ownNs += timer.nsecsElapsed();
    }
    return std::pair(double(makeNs) / 1e9, double(ownNs - makeNs) / 1e9);
}

// A shell loop of bare usermod -d registering hf<first>..hf<last> under homes:
// whether every one succeeded.
bool usermodLoop(const QString& homes, int first, int last) {
    return orvane::runProcess(
               QStringLiteral("/bin/bash"),
               {QStringLiteral("-c"),
                QStringLiteral(
                    "for i in $(seq %1 %2); do usermod -d '%3'/hf$i hf$i || exit 1; done")
                    .arg(first)
                    .arg(last)
                    .arg(homes)},
               {}, std::chrono::hours(1))
        .succeeded();
}

// Selects the rows of hf<first>..hf<last> alone.
void selectAccounts(QTreeWidget* list, int first, int last) {
    list->clearSelection();
    for (int row = 0; row < list->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = list->topLevelItem(row);
        bool isNumber = false;
        const int n = item->text(0).startsWith(u"hf") ? item->text(0).mid(2).toInt(&isNumber) : -1;
        item->setSelected(isNumber && n >= first && n <= last);
    }
}

// Home folders for 1,000 selected accounts through the window on the host
// backend: made and given to their accounts with the skeleton copied in, in
// one command (make_own_s), then registered as their homes (register_s;
// usermod -d each, of which the backend's calls took register_calls_s).
// Beside them, on the same accounts in the same run:
// - usermod_loop_s: a shell loop of bare usermod -d registering each account
//   under another folder of the same length, so the files stay alike: the
//   floor of registering. The window and the loop take turns, ten rounds of a
//   tenth of the accounts each, so that both meet the machine alike; each of
//   the window's rounds ends with the list's refill, as every command does.
// - make_s and own_s: the making in its parts, each account's folder made
//   alone and made to be given (the owner looked up, the skeleton copied,
//   the folder given) in turns: make_s for the first, own_s for what giving
//   adds.
// ORVANE_BENCH_SHOWN shows the window.
void BM_HomeFoldersMadeAndRegistered(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        if (!seedAccounts("hf", kAccounts, 30000))
            return state.SkipWithError("cannot write the private account files");
        QTemporaryDir dir, homes, looped, parts;
        if (homes.path().size() != looped.path().size())
            return state.SkipWithError("two temporary folders of unlike length");
        orvane::host::HostNetApi host(paths(false));
        TimedNetApi net(host);
        orvane::MachineRegistry registry(dir.path() + QStringLiteral("/machine"));
        orvane::bench::SilentDialogs dialogs;
        orvane::DesktopShell shell;
        QString failure;
        {
            TUMainForm form(orvane::Platform{net, registry, dialogs, shell});
            if (qEnvironmentVariableIsSet("ORVANE_BENCH_SHOWN"))
                form.show();
            form.mDirPathEdit->setText(homes.path());
            form.hDirPath = homes.path() + u'/';
            form.GetAccountList(QString());
            form.ListView1->selectAll();
            state.ResumeTiming();
            QElapsedTimer timer;
            timer.start();
            form.N12Click();
            state.counters["make_own_s"] = double(timer.nsecsElapsed()) / 1e9;
            state.PauseTiming();

            const int rounds = std::min(kAccounts, 10);
            std::int64_t windowNs = 0, loopNs = 0;
            net.reset();
            for (int round = 0; round < rounds && failure.isEmpty(); ++round) {
                const int first = kAccounts * round / rounds;
                const int last = kAccounts * (round + 1) / rounds - 1;
                selectAccounts(form.ListView1, first, last);
                state.ResumeTiming();
                timer.restart();
                form.N15Click();
                windowNs += timer.nsecsElapsed();
                state.PauseTiming();
                if (homesInPlace(homes.path(), first, last, true) != last - first + 1)
                    failure = QStringLiteral("the window registered not all of hf%1..").arg(first);
                timer.restart();
                const bool loopDone = usermodLoop(looped.path(), first, last);
                loopNs += timer.nsecsElapsed();
                if (!loopDone ||
                    homesInPlace(looped.path(), first, last, false) != last - first + 1)
                    failure = QStringLiteral("the usermod loop failed at hf%1..").arg(first);
            }
            state.counters["register_s"] = double(windowNs) / 1e9;
            state.counters["register_calls_s"] = net.seconds(TimedNetApi::UserSetInfo);
            state.counters["usermod_loop_s"] = double(loopNs) / 1e9;
        }
        const auto making = madeAndOwnedSeconds(parts.path());
        if (making) {
            state.counters["make_s"] = making->first;
            state.counters["own_s"] = making->second;
        } else {
            failure = QStringLiteral("the folders could not all be made");
        }
        savedFiles().restore();
        state.ResumeTiming();
        if (!failure.isEmpty())
            return state.SkipWithError(failure.toStdString().c_str());
    }
    state.SetItemsProcessed(state.iterations() * kAccounts);
}
BENCHMARK(BM_HomeFoldersMadeAndRegistered)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0 || qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1") {
        std::fprintf(stderr, "bench_host: run it through scripts/bench-host (root, a private "
                             "copy of /etc)\n");
        return 77;
    }
    savedFiles();
    return orvane::bench::runBenchmarks(argc, argv);
}
