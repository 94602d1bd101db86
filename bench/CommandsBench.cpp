// A numbered run through the real window, and the cost of a log line as the
// log grows.
#include "BenchMachine.h"
#include "ui/LogListBox.h"
#include "ui/LookAndFeel.h"
#include "ui/UserMMain.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

using orvane::bench::BenchMachine;

namespace {

void BM_NumberedRun1000(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        BenchMachine machine(0, 0);
        TUMainForm form(machine.platform());
        form.show();
        // The boxes hold three digits: 0 to 999 is the longest run.
        form.Edit3->setText(QStringLiteral("0"));
        form.Edit4->setText(QStringLiteral("999"));
        state.ResumeTiming();
        form.Button8->click();
        if (form.ListView1->topLevelItemCount() != 1002) {
            state.SkipWithError(
                QStringLiteral("the list holds %1 rows, not 1,002: %2")
                    .arg(form.ListView1->topLevelItemCount())
                    .arg(form.ListBox1->count() ? form.ListBox1->item(0) : QString())
                    .toStdString()
                    .c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_NumberedRun1000)->Unit(benchmark::kMillisecond)->Iterations(2);

// 100,000 log lines; with a screen reader, each new line is also read back as
// the reader does on hearing of it (the list, its size, the new item's text).
void logLines100000(benchmark::State& state, bool screenReader) {
    for (auto _ : state) {
        BenchMachine machine(0, 0);
        TUMainForm form(machine.platform());
        form.show();
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(form.ListBox1);
        QElapsedTimer timer;
        double first = 0;
        double last = 0;
        for (int i = 0; i < 100000; ++i) {
            if (i == 0 || i == 99000)
                timer.restart();
            form.AddLogInfo(QStringLiteral("添加用户 GCUSER%1 成功").arg(i));
            if (screenReader)
                benchmark::DoNotOptimize(
                    list->child(list->childCount() - 1)->text(QAccessible::Name).size());
            if (i == 999)
                first = double(timer.nsecsElapsed()) / 1e6;
            if (i == 99999)
                last = double(timer.nsecsElapsed()) / 1e6;
        }
        state.counters["first_1000_ms"] = first;
        state.counters["last_1000_ms"] = last;
        state.counters["last_over_first"] = last / first;
    }
}

void BM_LogLines100000(benchmark::State& state) {
    logLines100000(state, false);
}
BENCHMARK(BM_LogLines100000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LogLines100000ReadByScreenReader(benchmark::State& state) {
    logLines100000(state, true);
}
BENCHMARK(BM_LogLines100000ReadByScreenReader)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    return orvane::bench::runBenchmarks(argc, argv);
}
