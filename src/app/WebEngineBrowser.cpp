#include "WebEngineBrowser.h"

#include <QWebEngineView>

namespace orvane {

namespace {

class WebEngineBrowser final : public WebBrowser {
public:
    explicit WebEngineBrowser(QWidget* parent) : m_view(new QWebEngineView(parent)) {
        m_view->setObjectName(QStringLiteral("WebBrowser1"));
    }
    QWidget* widget() override { return m_view; }
    void Navigate(const QUrl& url) override { m_view->load(url); }

private:
    QWebEngineView* m_view; // owned by its parent widget
};

} // namespace

std::unique_ptr<WebBrowser> createWebEngineBrowser(QWidget* parent) {
    return std::make_unique<WebEngineBrowser>(parent);
}

} // namespace orvane
