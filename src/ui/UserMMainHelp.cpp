// The help page: its browser shows the support page each time it is shown.
#include "ui/UserMMain.h"

#include <QGroupBox>
#include <QLayout>

namespace {
const QUrl kSupportPage(QStringLiteral("http://bbs.orvane.example/thread-1795-1-1.html"));
}

void TUMainForm::TabSheet2Show() {
    if (!WebBrowser1 && m_platform.browser) {
        m_browser = m_platform.browser(GroupBox7);
        WebBrowser1 = m_browser.get();
        if (WebBrowser1)
            GroupBox7->layout()->addWidget(WebBrowser1->widget());
    }
    if (WebBrowser1)
        WebBrowser1->Navigate(kSupportPage);
}
