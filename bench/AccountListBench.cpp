// Refilling the account list, and start-up to the first shown window, on the
// embedded machine with real widgets offscreen.
#include "BenchMachine.h"
#include "ui/LookAndFeel.h"
#include "ui/UserMMain.h"

#include <QApplication>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

using orvane::bench::BenchMachine;

namespace {

double peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

void BM_GetAccountList(benchmark::State& state) {
    const int accounts = int(state.range(0));
    BenchMachine machine(accounts, 100);
    TUMainForm form(machine.platform());
    for (auto _ : state) {
        form.GetAccountList(form.mServerName);
        benchmark::DoNotOptimize(form.ListView1->topLevelItemCount());
    }
    if (form.ListView1->topLevelItemCount() != accounts + 2)
        state.SkipWithError("the list does not hold every account");
    state.SetItemsProcessed(state.iterations() * accounts);
    state.counters["peak_rss_MB"] = peakRssMegabytes();
}
BENCHMARK(BM_GetAccountList)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_StartToFirstShownWindow(benchmark::State& state) {
    BenchMachine machine(1000, 100);
    for (auto _ : state) {
        TUMainForm form(machine.platform());
        form.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(form.ListView1->topLevelItemCount());
    }
}
BENCHMARK(BM_StartToFirstShownWindow)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    return orvane::bench::runBenchmarks(argc, argv);
}
