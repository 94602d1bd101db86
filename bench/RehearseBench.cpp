// uses-programs: xdotool (and the project's orvane, orvane-rehearse)
// What a rehearsal adds to start-up on the host backend, as root over a
// private /etc (scripts/bench-rehearse):
// - CopyMade: orvane-rehearse with a window program that ends at once,
//   beside that program run alone: the copy, its namespaces and its init;
// - WindowShown: orvane and orvane-rehearse until the window is on screen
//   (xdotool waits for it), on the X display in DISPLAY.

#include "Spawned.h"
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <csignal>
#include <unistd.h>
#include <vector>

namespace {

using orvane::bench::spawn;
using orvane::bench::waitFor;

bool runs(const std::vector<QByteArray>& argv, const std::vector<QByteArray>& env = {}) {
    const pid_t pid = spawn(argv, env);
    return pid > 0 && WIFEXITED(waitFor(pid));
}

bool canRehearse(benchmark::State& state) {
    if (::geteuid() != 0 || qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1") {
        state.SkipWithError("needs root over a private /etc (scripts/bench-rehearse)");
        return false;
    }
    return true;
}

void CopyMade(benchmark::State& state) {
    if (!canRehearse(state))
        return;
    const bool rehearsed = state.range(0) == 1;
    // orvane-rehearse runs the program named orvane beside itself.
    QTemporaryDir folder;
    const QString rehearse = folder.filePath(QStringLiteral("orvane-rehearse"));
    QFile::copy(QStringLiteral(ORVANE_REHEARSE), rehearse);
    QFile::setPermissions(rehearse, QFile::ReadOwner | QFile::ExeOwner);
    QFile::link(QStringLiteral("/bin/true"), folder.filePath(QStringLiteral("orvane")));
    const std::vector<QByteArray> argv{rehearsed ? QFile::encodeName(rehearse) : "/bin/true"};
    const std::vector<QByteArray> env{"ORVANE_NETAPI=host",
                                      "ORVANE_MACHINE=" + QFile::encodeName(folder.path())};
    for (auto _ : state)
        if (!runs(argv, env))
            state.SkipWithError("the program did not end by itself");
    state.SetLabel(rehearsed ? "orvane-rehearse" : "the window program alone");
}
BENCHMARK(CopyMade)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void WindowShown(benchmark::State& state) {
    if (!canRehearse(state))
        return;
    if (qEnvironmentVariable("DISPLAY").isEmpty()) {
        state.SkipWithError("needs an X display (scripts/bench-rehearse starts one)");
        return;
    }
    const bool rehearsed = state.range(0) == 1;
    QTemporaryDir folder;
    const std::vector<QByteArray> env{"ORVANE_NETAPI=host",
                                      "ORVANE_MACHINE=" + QFile::encodeName(folder.path())};
    const QByteArray program = rehearsed ? ORVANE_REHEARSE : ORVANE_WINDOW;
    for (auto _ : state) {
        const pid_t window = spawn({program}, env);
        const bool shown =
            runs({"/usr/bin/xdotool", "search", "--sync", "--onlyvisible", "--name", "^Orvane$"});
        state.PauseTiming();
        ::kill(window, SIGTERM);
        waitFor(window);
        state.ResumeTiming();
        if (!shown)
            state.SkipWithError("no window was shown");
    }
    state.SetLabel(rehearsed ? "orvane-rehearse" : "orvane");
}
BENCHMARK(WindowShown)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

} // namespace

BENCHMARK_MAIN();
