#pragma once

#include "platform/Dialogs.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/embedded/EmbeddedNetApi.h"
#include "ui/Platform.h"

#include <QTemporaryDir>

namespace orvane::bench {

// Dialogs that nobody answers: the benchmarks never open one.
class SilentDialogs final : public Dialogs {
public:
    std::optional<QString> chooseFolder(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> openFile(QWidget*, const OpenFileOptions&) override {
        return std::nullopt;
    }
    void showError(QWidget*, const QString&, const QString&) override {}
};

// An embedded machine in a temporary folder, seeded in bulk: `accounts`
// accounts in "Users", every second one with an existing home folder, and
// `shares` shares of home folders.
struct BenchMachine {
    BenchMachine(int accounts, int shares);

    QTemporaryDir dir;
    QString folder;
    std::unique_ptr<embedded::EmbeddedNetApi> net;
    std::unique_ptr<MachineRegistry> registry;
    SilentDialogs dialogs;
    DesktopShell shell;

    Platform platform() { return Platform{*net, *registry, dialogs, shell}; }
};

// Runs the registered benchmarks with real widgets, offscreen unless the
// environment names a platform.
int runBenchmarks(int argc, char** argv);

} // namespace orvane::bench
