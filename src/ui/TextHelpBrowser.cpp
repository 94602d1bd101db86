#include "ui/TextHelpBrowser.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextDocument>
#include <utility>

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
        QObject::connect(
            m_view, &QTextBrowser::anchorClicked, &m_context, [this](const QUrl& link) {
                // A link within the page only scrolls.
                if (link.hasFragment() && link.adjusted(QUrl::RemoveFragment).isEmpty()) {
                    m_view->scrollToAnchor(link.fragment());
                    return;
                }
                Navigate(m_url.resolved(link));
            });
    }

    ~TextHelpBrowser() override { drop(); }

    QWidget* widget() override { return m_view; }

    void Navigate(const QUrl& url) override {
        drop();
        if (!isWebAddress(url)) {
            // Files of this machine, and any other scheme, are not opened.
            showMessage(QString::fromUtf16(u"无法打开此地址"), url.toString());
            return;
        }
        m_url = url;
        QNetworkRequest request(url);
        request.setTransferTimeout(30000);
        QNetworkReply* reply = m_network->get(request);
        m_reply = reply;
        m_body.clear();
        // The page is taken as it comes, so no more than the limit is ever held.
        reply->setReadBufferSize(kTextPageLimit + 1);
        QObject::connect(reply, &QNetworkReply::readyRead, &m_context, [this, reply] {
            m_body += reply->read(kTextPageLimit + 1 - m_body.size());
            if (m_body.size() > kTextPageLimit) {
                drop();
                showMessage(QString::fromUtf16(u"无法显示此页"), QString::fromUtf16(u"页面过大"));
            }
        });
        QObject::connect(reply, &QNetworkReply::finished, &m_context, [this, reply] {
            m_body += reply->read(kTextPageLimit + 1 - m_body.size());
            m_reply = nullptr;
            reply->deleteLater();
            show(*reply);
        });
    }

private:
    // Forgets the page being fetched, so that nothing it still does shows.
    void drop() {
        if (QNetworkReply* reply = m_reply) {
            m_reply = nullptr;
            reply->disconnect(&m_context);
            reply->abort();
            reply->deleteLater();
        }
        m_body.clear();
    }

    void showMessage(const QString& title, const QString& detail) {
        m_view->setHtml(QStringLiteral("<h3>%1</h3><p>%2</p>")
                            .arg(title.toHtmlEscaped(), detail.toHtmlEscaped()));
    }

    void show(QNetworkReply& reply) {
        const QByteArray body = std::exchange(m_body, QByteArray());
        if (reply.error() != QNetworkReply::NoError) {
            showMessage(QString::fromUtf16(u"无法显示此页"), reply.errorString());
            return;
        }
        if (body.size() > kTextPageLimit) {
            showMessage(QString::fromUtf16(u"无法显示此页"), QString::fromUtf16(u"页面过大"));
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

    // The receiver of every connection: they end with this browser, before its
    // view (which its parent deletes later) and the view's network access.
    QObject m_context;
    ResourcelessView* m_view; // owned by its parent widget
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_body;
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
