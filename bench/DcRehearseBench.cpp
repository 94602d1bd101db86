// uses-programs: samba-tool (and the project's orvane-rehearse)
// What a rehearsal of a domain controller costs at start-up, against the
// test DC of scripts/bench-rehearse-dc (filled to 1,000 accounts), in one
// run beside what Samba's backup alone takes:
// - BackupOnline: samba-tool domain backup online of the DC into a folder;
// - DcRehearsalReady: orvane-rehearse with a window program that ends at
//   once: backup, restore, the copy's server started until it answers, and
//   its end. The goal is at most 30 s.

#include "Spawned.h"
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <vector>

namespace {

using orvane::bench::succeeds;

// The test DC's administrator, as the window and Samba's tools take it.
std::vector<QByteArray> credentials() {
    return {"USER=" + qgetenv("ORVANE_TEST_SAMBA_USER"),
            "PASSWD=" + qgetenv("ORVANE_TEST_SAMBA_PASSWORD")};
}

bool onTheTestDc(benchmark::State& state) {
    if (qgetenv("ORVANE_TEST_SAMBA") != "dc" || ::geteuid() != 0) {
        state.SkipWithError("needs root and the test DC (scripts/bench-rehearse-dc)");
        return false;
    }
    return true;
}

void BackupOnline(benchmark::State& state) {
    if (!onTheTestDc(state))
        return;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir target;
        state.ResumeTiming();
        if (!succeeds({"/usr/bin/samba-tool", "domain", "backup", "online",
                       "--server=" + qgetenv("ORVANE_TEST_SAMBA_SERVER"),
                       "--targetdir=" + QFile::encodeName(target.path())},
                      credentials()))
            state.SkipWithError("samba-tool domain backup online failed");
    }
    state.SetLabel("samba-tool domain backup online alone");
}
BENCHMARK(BackupOnline)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

void DcRehearsalReady(benchmark::State& state) {
    if (!onTheTestDc(state))
        return;
    if (qEnvironmentVariable("DISPLAY").isEmpty()) {
        state.SkipWithError("needs an X display (scripts/bench-rehearse-dc starts one)");
        return;
    }
    // orvane-rehearse runs the program named orvane beside itself, and makes
    // its copy on the empty folder beside itself.
    QTemporaryDir folder;
    const QString rehearse = folder.filePath(QStringLiteral("orvane-rehearse"));
    QFile::copy(QStringLiteral(ORVANE_REHEARSE), rehearse);
    QFile::setPermissions(rehearse, QFile::ReadOwner | QFile::ExeOwner);
    QFile::link(QStringLiteral("/bin/true"), folder.filePath(QStringLiteral("orvane")));
    QDir(folder.path()).mkdir(QStringLiteral("rehearsal-scratch"));
    QDir(folder.path()).mkdir(QStringLiteral("machine"));
    QFile::setPermissions(folder.filePath(QStringLiteral("machine")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    std::vector<QByteArray> env = credentials();
    env.insert(env.end(),
               {"ORVANE_NETAPI=samba", "ORVANE_SAMBA_SERVER=" + qgetenv("ORVANE_TEST_SAMBA_SERVER"),
                "ORVANE_MACHINE=" + QFile::encodeName(folder.filePath(QStringLiteral("machine")))});
    for (auto _ : state)
        if (!succeeds({QFile::encodeName(rehearse)}, env))
            state.SkipWithError("orvane-rehearse did not make its copy");
    state.SetLabel("orvane-rehearse to its window and back (goal: 30 s)");
}
BENCHMARK(DcRehearsalReady)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
