// The host backend against the shadow suite's own ways of making many
// accounts, side by side in one run over the same private copy of /etc
// (scripts/bench-host starts it as root in a mount namespace of its own):
// every method starts from the same account files and hashes with the same
// method, and the files are put back after each.
// uses-programs: bash newusers useradd gpasswd chpasswd usermod smbpasswd testparm
#include "BenchMachine.h"
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
#include <map>
#include <optional>
#include <unistd.h>

namespace {

const int kAccounts = qEnvironmentVariableIntValue("ORVANE_BENCH_ACCOUNTS") > 0
                          ? qEnvironmentVariableIntValue("ORVANE_BENCH_ACCOUNTS")
                          : 1000;
const QString kPassword = QStringLiteral("Kx7#mWq2vLp9");

// The account files and Samba's account database as they were before a
// method ran, put back after it.
class SavedFiles {
public:
    SavedFiles() {
        for (const char* name : {"passwd", "shadow", "group", "gshadow", "subuid", "subgid"})
            save(QStringLiteral("/etc/") + QLatin1StringView(name));
        const orvane::ProcessResult privateDir = orvane::runProcess(
            QStringLiteral("/usr/bin/testparm"),
            {QStringLiteral("-s"), QStringLiteral("--parameter-name=private dir")});
        if (privateDir.succeeded())
            save(QString::fromUtf8(privateDir.output.trimmed()) + QStringLiteral("/passdb.tdb"));
    }
    void restore() const {
        for (const auto& [path, text] : m_files) {
            if (!text) {
                QFile::remove(path);
                continue;
            }
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*text) < 0)
                qFatal("cannot put %s back", qPrintable(path));
        }
    }

private:
    void save(const QString& path) {
        QFile file(path);
        m_files[path] =
            file.open(QIODevice::ReadOnly) ? std::optional(file.readAll()) : std::nullopt;
    }
    std::map<QString, std::optional<QByteArray>> m_files;
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

// Home folders for 1,000 selected accounts through the window: made, given
// to their accounts with the skeleton copied in, then registered as their
// homes (usermod -d each).
void BM_HomeFoldersMadeAndRegistered(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        if (!seedAccounts("hf", kAccounts, 30000))
            return state.SkipWithError("cannot write the private account files");
        QTemporaryDir dir, homes;
        orvane::host::HostNetApi net(paths(false));
        orvane::MachineRegistry registry(dir.path() + QStringLiteral("/machine"));
        orvane::bench::SilentDialogs dialogs;
        orvane::DesktopShell shell;
        int owned = 0;
        {
            TUMainForm form(orvane::Platform{net, registry, dialogs, shell});
            form.mDirPathEdit->setText(homes.path());
            form.hDirPath = homes.path() + u'/';
            form.GetAccountList(QString());
            form.ListView1->selectAll();
            state.ResumeTiming();
            QElapsedTimer timer;
            timer.start();
            form.N12Click();
            state.counters["make_s"] = double(timer.restart()) / 1000;
            form.ListView1->selectAll();
            form.N15Click();
            state.counters["register_s"] = double(timer.elapsed()) / 1000;
            state.PauseTiming();
            QFile passwd(QStringLiteral("/etc/passwd"));
            passwd.open(QIODevice::ReadOnly);
            const QByteArray accounts = passwd.readAll();
            for (int i = 0; i < kAccounts; ++i) {
                const QString name = QStringLiteral("hf%1").arg(i);
                const QString home = homes.filePath(name);
                if (QFileInfo(home).ownerId() == uint(30000 + i) &&
                    accounts.contains(':' + QFile::encodeName(home) + ':'))
                    ++owned;
            }
        }
        savedFiles().restore();
        state.ResumeTiming();
        if (owned != kAccounts)
            return state.SkipWithError(
                QStringLiteral("%1 folders owned and registered").arg(owned).toStdString().c_str());
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
