// Starts Orvane: the backend named by the environment, the main window, then
// the hidden preview dialog, then the event loop.
#include "platform/Environment.h"
#include "platform/MachineFolder.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WaylandSocket.h"
#include "platform/netapi/Backend.h"
#include "ui/LookAndFeel.h"
#include "ui/QtDialogs.h"
#include "ui/ShowLoadList.h"
#include "ui/TextHelpBrowser.h"
#include "ui/UserMMain.h"

#include <QApplication>
#ifdef ORVANE_WEBENGINE
#include "WebEngineBrowser.h"
#endif
#include <cstdio>

int main(int argc, char* argv[]) {
    const QString folder = orvane::machineFolder();
    // Root's machine folder decides who administers this computer, whichever
    // backend runs: the registry stand-in lives there too.
    if (orvane::runsAsRoot()) {
        if (const QString why = orvane::rootMachineFolderRefusal(folder); !why.isEmpty()) {
            std::fprintf(stderr, "orvane: %s\n", qPrintable(why));
            return 2;
        }
    }
    if (const QString why = orvane::adoptWaylandSocket(); !why.isEmpty()) {
        std::fprintf(stderr, "orvane: %s\n", qPrintable(why));
        return 2;
    }
    std::unique_ptr<orvane::NetApi> net;
    try {
        net = orvane::createNetApi(folder);
    } catch (const orvane::BackendError& error) {
        std::fprintf(stderr, "orvane: %s\n", error.what());
        return 2;
    }

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orvane"));
    orvane::ui::applyLookAndFeel();

    orvane::MachineRegistry registry(folder);
    orvane::ui::QtDialogs dialogs;
    orvane::DesktopShell shell;
    orvane::Platform platform{*net, registry, dialogs, shell};
    // As root, QtWebEngine would render the network's page without its
    // sandbox: root gets the plain text view instead.
    orvane::WebBrowserFactory engine;
#ifdef ORVANE_WEBENGINE
    engine = orvane::createWebEngineBrowser;
#endif
    platform.browser = orvane::ui::helpBrowserFactory(orvane::runsAsRoot(), engine);
    TUMainForm UMainForm(platform);
    TFSLList FSLList(&UMainForm);
    UMainForm.FSLList = &FSLList;
    UMainForm.show();
    // The first refill runs while the window is shown, before the event loop;
    // a close that came meanwhile found no loop to end.
    if (!UMainForm.isVisible())
        return 0;
    return app.exec();
}
