#pragma once

#include "core/HttpResponse.h"
#include "core/PageText.h"
#include "ui/WebBrowser.h"

#include <chrono>

namespace orvane::ui {

inline constexpr qint64 kTextPageLimit = qint64(4) << 20;

// What one page may cost the text view.
struct TextHelpLimits {
    // From the request to the page shown, redirects included.
    std::chrono::milliseconds deadline{30000};
    HttpLimits http{64 * 1024, kTextPageLimit};
    PageTextLimits text;
    int redirects = 5;
};

// The support page as flat text with its links, for a process that runs as
// root: no scripts, no plugins, no resources, no local files and no engine of
// its own, only http and https pages within the limits above. The address
// the program asks for names the site; redirects and followed links go on
// only within it or to public addresses (see HelpPageAddress.h).
std::unique_ptr<WebBrowser> createTextHelpBrowser(QWidget* parent,
                                                  const TextHelpLimits& limits = {});

// The help page's browser: QtWebEngine's, with its sandbox, for an ordinary
// user; the text view for root, where that engine would run unsandboxed.
// Without an engine in the build, the text view for everyone.
WebBrowserFactory helpBrowserFactory(bool root, WebBrowserFactory engine);

} // namespace orvane::ui
