#pragma once

#include "ui/WebBrowser.h"

namespace orvane {

class NetApi;
class Registry;
class Dialogs;
class Shell;

// What the window asks of the operating system, handed in so that every window
// (and every test) has its own.
struct Platform {
    NetApi& net;
    Registry& registry;
    Dialogs& dialogs;
    Shell& shell;
    // The help page's browser; empty for none.
    WebBrowserFactory browser = {};
};

} // namespace orvane
