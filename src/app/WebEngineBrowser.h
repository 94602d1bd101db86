#pragma once

#include "ui/WebBrowser.h"

namespace orvane {

// The help page's browser on QtWebEngine's view.
std::unique_ptr<WebBrowser> createWebEngineBrowser(QWidget* parent);

} // namespace orvane
