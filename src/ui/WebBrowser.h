#pragma once

#include <QUrl>
#include <functional>
#include <memory>

class QWidget;

namespace orvane {

// An embedded web browser: a widget that fills its place, takes an address
// and loads it on its own.
class WebBrowser {
public:
    virtual ~WebBrowser() = default;
    virtual QWidget* widget() = 0;
    // Returns at once; the page loads inside the widget.
    virtual void Navigate(const QUrl& url) = 0;
};

// Makes the browser inside its parent; none where the build has no browser.
using WebBrowserFactory = std::function<std::unique_ptr<WebBrowser>(QWidget* parent)>;

} // namespace orvane
