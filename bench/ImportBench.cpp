// The account table reader, the preview of a large table, and an import
// through the real window.
#include "BenchMachine.h"
#include "platform/AccountTableFile.h"
#include "ui/LookAndFeel.h"
#include "ui/ShowLoadList.h"
#include "ui/UserMMain.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <malloc.h>

using orvane::bench::BenchMachine;

namespace {

// Dialogs whose file dialog answers with one path.
class FileDialogs final : public orvane::Dialogs {
public:
    QString path;
    std::optional<QString> chooseFolder(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> openFile(QWidget*, const OpenFileOptions&) override { return path; }
    void showError(QWidget*, const QString&, const QString&) override {}
};

QString writeTable(const QString& path, int lines) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        chunk += "IMPORT" + QByteArray::number(i) +
                 ",\"Pa55,word!\",Users,\xe5\xbc\xa0\xe4\xb8\x89,dept " +
                 QByteArray::number(i % 97) + ",room\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return path;
}

// A line of the field "a" and a comma, over and over, to the given size.
// The text repeated to the given size.
QString writeRepeated(const QString& path, const QByteArray& text, qint64 bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    const QByteArray chunk = text.repeated((1 << 20) / text.size());
    for (qint64 left = bytes; left > 0; left -= chunk.size())
        file.write(chunk.constData(), std::min<qint64>(left, chunk.size()));
    return path;
}

// A field of /proc/self/status in bytes (VmRSS, VmHWM), 0 when unreadable.
qint64 statusBytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// Makes the peak resident size the present one (Linux's clear_refs 5), after
// giving freed heap back, so the next peak is what the reader itself takes.
qint64 resetPeakMemory() {
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return statusBytes("VmRSS");
}

// Reads the table each iteration; the counters give its size and the most
// resident memory a read took on top of what the process held before, also
// as a multiple of the file's size.
void readTable(benchmark::State& state, const QString& path, unsigned codePage) {
    const qint64 bytes = QFile(path).size();
    qint64 peak = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const qint64 before = resetPeakMemory();
        state.ResumeTiming();
        benchmark::DoNotOptimize(orvane::readAccountTable(path, codePage).size());
        state.PauseTiming();
        peak = std::max(peak, statusBytes("VmHWM") - before);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["MB"] = double(bytes) / 1e6;
    state.counters["peak_MB"] = double(peak) / 1e6;
    state.counters["peak_per_byte"] = double(peak) / double(bytes);
}

void BM_ReadAccountTable(benchmark::State& state) {
    QTemporaryDir dir;
    readTable(state, writeTable(dir.path() + QStringLiteral("/big.csv"), 950000), 936);
}
BENCHMARK(BM_ReadAccountTable)->Unit(benchmark::kMillisecond)->Iterations(3);

// 200 MB on one line of "a,": every field past the kept ones is only counted.
void BM_ReadAccountTableOneLine200MB(benchmark::State& state) {
    QTemporaryDir dir;
    readTable(state, writeRepeated(dir.path() + QStringLiteral("/line.csv"), "a,", 200000000), 936);
}
BENCHMARK(BM_ReadAccountTableOneLine200MB)->Unit(benchmark::kMillisecond)->Iterations(2);

// 50 MB of the shortest account lines, where each field costs the most.
void BM_ReadAccountTableShortLines50MB(benchmark::State& state) {
    QTemporaryDir dir;
    readTable(state, writeRepeated(dir.path() + QStringLiteral("/short.csv"), ",,\n", 50000000),
              936);
}
BENCHMARK(BM_ReadAccountTableShortLines50MB)->Unit(benchmark::kMillisecond)->Iterations(2);

struct ImportWindow {
    BenchMachine machine{0, 0};
    FileDialogs dialogs;
    orvane::Platform platform{*machine.net, *machine.registry, dialogs, machine.shell};
    TUMainForm form{platform};
    TFSLList* preview = new TFSLList(&form);
    QTimer confirm;

    ImportWindow() {
        form.FSLList = preview;
        form.show();
        confirm.setInterval(1);
        QObject::connect(&confirm, &QTimer::timeout, [this] {
            if (QApplication::activeModalWidget() == preview)
                preview->Button1->click();
        });
        confirm.start();
    }
};

void BM_Preview100000Lines(benchmark::State& state) {
    ImportWindow window;
    window.dialogs.path = writeTable(window.machine.dir.path() + QStringLiteral("/t.csv"), 100000);
    for (auto _ : state)
        window.form.Button7Click();
    if (window.preview->ListView1->topLevelItemCount() != 100000)
        state.SkipWithError("the preview does not hold every line");
}
BENCHMARK(BM_Preview100000Lines)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Import1000Lines(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        ImportWindow window;
        window.dialogs.path =
            writeTable(window.machine.dir.path() + QStringLiteral("/t.csv"), 1000);
        window.form.Button7Click();
        state.ResumeTiming();
        window.form.Button6Click();
        state.PauseTiming();
        const bool complete = window.form.ListView1->topLevelItemCount() == 1002;
        state.ResumeTiming();
        if (!complete) {
            state.SkipWithError("the import did not create 1,000 accounts");
            break;
        }
    }
}
BENCHMARK(BM_Import1000Lines)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

int main(int argc, char** argv) {
    return orvane::bench::runBenchmarks(argc, argv);
}
