#include "ui/TextHelpBrowser.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextDocument>

namespace orvane::ui {

namespace {

// A document that never reads a resource: no images, style sheets or anything
// else a page could name, from the network or from this machine's files (a
// plain document reads file: addresses itself when its view declines).
class ResourcelessDocument final : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

class ResourcelessView final : public QTextBrowser {
public:
    explicit ResourcelessView(QWidget* parent) : QTextBrowser(parent) {
        setDocument(new ResourcelessDocument(this));
    }
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

bool isWebAddress(const QUrl& url) {
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https");
}

QString messagePage(const QString& title, const QString& detail) {
    return QStringLiteral("<h3>%1</h3><p>%2</p>")
        .arg(title.toHtmlEscaped(), detail.toHtmlEscaped());
}

class TextHelpBrowser final : public WebBrowser {
public:
    explicit TextHelpBrowser(QWidget* parent)
        : m_view(new ResourcelessView(parent)), m_network(new QNetworkAccessManager(m_view)) {
        m_view->setObjectName(QStringLiteral("WebBrowser1"));
        m_view->setAccessibleName(QString::fromUtf16(u"支持页面"));
        m_view->setOpenLinks(false);
        m_view->setOpenExternalLinks(false);
        // Never a redirect from https to http.
        m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
        QObject::connect(m_view, &QTextBrowser::anchorClicked, m_view, [this](const QUrl& link) {
            // A link within the page only scrolls.
            if (link.hasFragment() && link.adjusted(QUrl::RemoveFragment).isEmpty()) {
                m_view->scrollToAnchor(link.fragment());
                return;
            }
            Navigate(m_url.resolved(link));
        });
    }

    QWidget* widget() override { return m_view; }

    void Navigate(const QUrl& url) override {
        if (m_reply)
            m_reply->abort();
        if (!isWebAddress(url)) {
            // Files of this machine, and any other scheme, are not opened.
            m_view->setHtml(messagePage(QString::fromUtf16(u"无法打开此地址"), url.toString()));
            return;
        }
        m_url = url;
        QNetworkRequest request(url);
        request.setTransferTimeout(30000);
        QNetworkReply* reply = m_network->get(request);
        m_reply = reply;
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply](qint64 received, qint64) {
                             if (received > kTextPageLimit)
                                 reply->abort();
                         });
        QObject::connect(reply, &QNetworkReply::finished, m_view, [this, reply] {
            reply->deleteLater();
            if (reply != m_reply)
                return;
            show(*reply);
        });
    }

private:
    void show(QNetworkReply& reply) {
        if (reply.error() != QNetworkReply::NoError) {
            m_view->setHtml(messagePage(QString::fromUtf16(u"无法显示此页"), reply.errorString()));
            return;
        }
        const QByteArray body = reply.read(kTextPageLimit + 1);
        if (body.size() > kTextPageLimit) {
            m_view->setHtml(
                messagePage(QString::fromUtf16(u"无法显示此页"), QString::fromUtf16(u"页面过大")));
            return;
        }
        // Redirects may have moved it: links resolve against where it is.
        m_url = reply.url();
        QStringDecoder decoder = QStringDecoder::decoderForHtml(body);
        if (!decoder.isValid())
            decoder = QStringDecoder(QStringDecoder::Utf8);
        const QString html = decoder.decode(body);
        if (reply.header(QNetworkRequest::ContentTypeHeader).toString().startsWith(u"text/plain"))
            m_view->setPlainText(html);
        else
            m_view->setHtml(html);
    }

    ResourcelessView* m_view; // owned by its parent widget
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    QUrl m_url;
};

} // namespace

std::unique_ptr<WebBrowser> createTextHelpBrowser(QWidget* parent) {
    return std::make_unique<TextHelpBrowser>(parent);
}

WebBrowserFactory helpBrowserFactory(bool root, WebBrowserFactory engine) {
    if (root || !engine)
        return &createTextHelpBrowser;
    return engine;
}

} // namespace orvane::ui
