#pragma once

#include "ui/WebBrowser.h"

namespace orvane::ui {

// The support page as plain rich text, for a process that runs as root: no
// scripts, no plugins, no local files and no engine of its own, only http and
// https pages (at most kTextPageLimit bytes each), whose links are followed
// inside the box.
std::unique_ptr<WebBrowser> createTextHelpBrowser(QWidget* parent);

inline constexpr qint64 kTextPageLimit = qint64(4) << 20;

// The help page's browser: QtWebEngine's, with its sandbox, for an ordinary
// user; the text view for root, where that engine would run unsandboxed.
// Without an engine in the build, the text view for everyone.
WebBrowserFactory helpBrowserFactory(bool root, WebBrowserFactory engine);

} // namespace orvane::ui
