// The account table reader, the preview of a large table, and an import
// through the real window.
#include "BenchMachine.h"
#include "core/AccountTable.h"
#include "ui/LookAndFeel.h"
#include "ui/ShowLoadList.h"
#include "ui/UserMMain.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <benchmark/benchmark.h>

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

void BM_ReadAccountTable(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = writeTable(dir.path() + QStringLiteral("/big.csv"), 950000);
    const qint64 bytes = QFile(path).size();
    for (auto _ : state)
        benchmark::DoNotOptimize(orvane::readAccountTable(path, 936).size());
    state.SetBytesProcessed(state.iterations() * bytes);
    state.counters["MB"] = double(bytes) / 1e6;
}
BENCHMARK(BM_ReadAccountTable)->Unit(benchmark::kMillisecond)->Iterations(3);

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
