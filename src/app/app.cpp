// Starts Orvane: the backend named by the environment, the main window, then
// the hidden preview dialog, then the event loop.
#include "platform/MachineFolder.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/netapi/Backend.h"
#include "ui/LookAndFeel.h"
#include "ui/QtDialogs.h"
#include "ui/ShowLoadList.h"
#include "ui/UserMMain.h"

#include <QApplication>
#ifdef ORVANE_WEBENGINE
#include "WebEngineBrowser.h"
#endif
#include <cstdio>
#include <unistd.h>

int main(int argc, char* argv[]) {
    const QString folder = orvane::machineFolder();
    std::unique_ptr<orvane::NetApi> net;
    try {
        net = orvane::createNetApi(folder);
    } catch (const orvane::BackendError& error) {
        std::fprintf(stderr, "orvane: %s\n", error.what());
        return 2;
    }

    // The program runs as an administrator; QtWebEngine's sandbox refuses root.
    if (geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    orvane::ui::applyLookAndFeel();

    orvane::MachineRegistry registry(folder);
    orvane::ui::QtDialogs dialogs;
    orvane::DesktopShell shell;
    orvane::Platform platform{*net, registry, dialogs, shell};
#ifdef ORVANE_WEBENGINE
    platform.browser = orvane::createWebEngineBrowser;
#endif
    TUMainForm UMainForm(platform);
    TFSLList FSLList(&UMainForm);
    UMainForm.FSLList = &FSLList;
    UMainForm.show();
    return app.exec();
}
