// uses-programs: bash net (and tests/support/with-private-etc, which starts it)
// Sharing folders through this machine's Samba on the host backend, beside
// Samba's own tools in a shell loop, in the same run and for both of the
// ways Samba keeps shares (usershares, registry shares). Run it as root over
// a private /etc, so the machine's Samba is never touched:
//   tests/support/with-private-etc build/bench/bench_host_shares
// ORVANE_BENCH_SHARES is the number of folders (1,000 by default).

#include "platform/NTDShare.h"
#include "platform/Process.h"
#include "platform/host/HostNetApi.h"
#include "platform/netapi/WideText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <unistd.h>

namespace {

int shareCount() {
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("ORVANE_BENCH_SHARES", &ok);
    return ok && count > 0 ? count : 1000;
}

// The private smb.conf set for one way of keeping shares, put back after.
class Mechanism {
public:
    explicit Mechanism(bool registry) {
        QFile conf(QStringLiteral("/etc/samba/smb.conf"));
        if (conf.open(QIODevice::ReadOnly))
            m_before = conf.readAll();
        write(m_before + "\n[global]\n" +
              (registry
                   ? QByteArray("registry shares = yes\n")
                   : "usershare max shares = " + QByteArray::number(shareCount() + 10) + "\n"));
    }
    ~Mechanism() { write(m_before); }

private:
    static void write(const QByteArray& text) {
        QFile conf(QStringLiteral("/etc/samba/smb.conf"));
        if (conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            conf.write(text);
    }
    QByteArray m_before;
};

QStringList makeFolders(const QTemporaryDir& temp, int count) {
    QStringList folders;
    for (int i = 0; i < count; ++i) {
        folders << temp.filePath(QStringLiteral("u%1").arg(i, 5, 10, QChar(u'0')));
        QDir().mkpath(folders.back());
    }
    return folders;
}

void removeAll(orvane::NetApi& api, const QStringList& folders) {
    for (const QString& folder : folders) {
        orvane::WideBuffer name(QFileInfo(folder).fileName());
        api.NetShareDel(nullptr, name.get(), 0);
    }
}

void throughTheBackend(benchmark::State& state) {
    const bool registry = state.range(0) == 1;
    const int count = shareCount();
    for (auto _ : state) {
        state.PauseTiming();
        const Mechanism mechanism(registry);
        QTemporaryDir temp;
        const QStringList folders = makeFolders(temp, count);
        orvane::host::HostNetApi api;
        state.ResumeTiming();
        int failed = 0;
        for (const QString& folder : folders) {
            const QString name = QFileInfo(folder).fileName();
            failed += orvane::AddDirShare(api, QString(), folder, name, name) != NERR_Success;
        }
        state.PauseTiming();
        state.counters["failed"] = failed;
        removeAll(api, folders);
        state.ResumeTiming();
    }
    // Seconds per share (shown with SI prefixes: 80m is 80 ms).
    state.counters["per_share"] =
        benchmark::Counter(double(count) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void throughAShellLoop(benchmark::State& state) {
    const bool registry = state.range(0) == 1;
    const int count = shareCount();
    const QString add = registry
                            ? QStringLiteral("net conf addshare \"$n\" \"$f\" writeable=y "
                                             "guest_ok=n \"$n\"")
                            : QStringLiteral("net usershare add \"$n\" \"$f\" \"$n\" S-1-1-0:F "
                                             "guest_ok=n");
    for (auto _ : state) {
        state.PauseTiming();
        const Mechanism mechanism(registry);
        QTemporaryDir temp;
        const QStringList folders = makeFolders(temp, count);
        state.ResumeTiming();
        const orvane::ProcessResult loop = orvane::runProcess(
            QStringLiteral("/bin/bash"),
            {QStringLiteral("-c"),
             QStringLiteral("for f in \"$0\"/u*; do n=${f##*/}; %1 || exit 1; done").arg(add),
             temp.path()},
            {}, std::chrono::hours(1));
        state.PauseTiming();
        if (!loop.succeeded())
            state.SkipWithError(loop.errors.constData());
        orvane::host::HostNetApi api;
        removeAll(api, folders);
        state.ResumeTiming();
    }
    // Seconds per share (shown with SI prefixes: 80m is 80 ms).
    state.counters["per_share"] =
        benchmark::Counter(double(count) * double(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// 0: usershares, 1: registry shares; one pass each, the two ways in turn.
BENCHMARK(throughTheBackend)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(throughAShellLoop)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0) {
        std::fprintf(stderr, "bench_host_shares: run it as root under "
                             "tests/support/with-private-etc, so this machine's Samba stays as "
                             "it is\n");
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
