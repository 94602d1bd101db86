#include "ui/TextHelpBrowser.h"

#include "ui/HelpPageAddress.h"
#include "ui/HelpPageFetch.h"
#include "ui/PageTextView.h"

#include <QHostInfo>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>

namespace orvane::ui {

namespace {

// A document that never reads a resource: no images, style sheets or anything
// else, from the network or from this machine's files (a plain document reads
// file: addresses itself when its view declines).
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
    return url.isValid() && (url.scheme() == u"http" || url.scheme() == u"https") &&
           !url.host().isEmpty();
}

QString text(const char16_t* chinese) {
    return QString::fromUtf16(chinese);
}

QString failureText(HttpResponse::Failure failure) {
    switch (failure) {
    case HttpResponse::Failure::BodyTooLarge:
        return text(u"页面过大");
    case HttpResponse::Failure::HeaderTooLarge:
        return text(u"响应头过大");
    case HttpResponse::Failure::Malformed:
    case HttpResponse::Failure::Truncated:
    case HttpResponse::Failure::None:
        break;
    }
    return text(u"服务器的回答无法读取");
}

// The character set the server names (Chinese forums often send GBK
// without saying so in the page), else what the page itself says.
QStringDecoder decoderFor(const HelpPageFetch::Result& result) {
    const QByteArray type = result.contentType.toLower();
    const qsizetype charset = type.indexOf("charset=");
    if (charset >= 0) {
        QByteArray name = type.mid(charset + 8);
        if (const qsizetype end = name.indexOf(';'); end >= 0)
            name.truncate(end);
        name = name.trimmed();
        name.replace('"', "");
        QStringDecoder named(name.constData());
        if (named.isValid())
            return named;
    }
    QStringDecoder decoder = QStringDecoder::decoderForHtml(result.body);
    return decoder.isValid() ? std::move(decoder) : QStringDecoder(QStringDecoder::Utf8);
}

PageText pageTextOf(const HelpPageFetch::Result& result, const PageTextLimits& limits) {
    QStringDecoder decoder = decoderFor(result);
    const QString decoded = decoder.decode(result.body);
    if (result.contentType.trimmed().toLower().startsWith("text/plain"))
        return pageTextFromPlain(decoded, limits);
    return pageTextFromHtml(decoded, limits);
}

class TextHelpBrowser final : public WebBrowser {
public:
    TextHelpBrowser(QWidget* parent, const TextHelpLimits& limits)
        : m_limits(limits), m_view(new ResourcelessView(parent)) {
        m_view->setObjectName(QStringLiteral("WebBrowser1"));
        m_view->setAccessibleName(text(u"支持页面"));
        m_view->setOpenLinks(false);
        m_view->setOpenExternalLinks(false);
        m_view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &QTimer::timeout, &m_context, [this] {
            drop();
            showPageMessage(*m_view, text(u"无法显示此页"), text(u"页面未能在时限内载入"));
        });
        QObject::connect(
            m_view, &QTextBrowser::anchorClicked, &m_context, [this](const QUrl& link) {
                if (link.hasFragment() && link.adjusted(QUrl::RemoveFragment).isEmpty())
                    return; // within the page: there is nothing to scroll to
                open(m_url.resolved(link));
            });
    }

    ~TextHelpBrowser() override { drop(); }

    QWidget* widget() override { return m_view; }

    // The program's own request: its address names the site.
    void Navigate(const QUrl& url) override {
        m_site = url;
        open(url);
    }

private:
    // A new page, with a deadline of its own.
    void open(const QUrl& url) {
        drop();
        m_deadline.start(m_limits.deadline);
        go(url, 0);
    }

    // Forgets the page being fetched, so that nothing it still does shows.
    void drop() {
        ++m_generation;
        m_fetch.reset();
        if (m_lookup >= 0)
            QHostInfo::abortHostLookup(std::exchange(m_lookup, -1));
        m_deadline.stop();
    }

    void fail(const QString& title, const QString& detail) {
        drop();
        showPageMessage(*m_view, title, detail);
    }

    void refuse(const QUrl& url) {
        fail(text(u"无法打开此地址"),
             text(u"不打开指向本机或内部网络的地址：") + url.toDisplayString());
    }

    void go(const QUrl& url, int redirects) {
        if (!isWebAddress(url)) {
            // Files of this machine, and any other scheme, are not opened.
            fail(text(u"无法打开此地址"), url.toDisplayString());
            return;
        }
        // An address refused by its form alone needs no lookup.
        const QHostAddress literal(url.host());
        if (!literal.isNull() && !addressFor(url, m_site, {literal})) {
            refuse(url);
            return;
        }
        const quint64 generation = m_generation;
        m_lookup = QHostInfo::lookupHost(url.host(), &m_context,
                                         [this, generation, url, redirects](const QHostInfo& info) {
                                             if (generation != m_generation)
                                                 return;
                                             m_lookup = -1;
                                             resolved(url, redirects, info);
                                         });
    }

    void resolved(const QUrl& url, int redirects, const QHostInfo& info) {
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            fail(text(u"无法显示此页"), info.errorString());
            return;
        }
        const std::optional<QHostAddress> address = addressFor(url, m_site, info.addresses());
        if (!address) {
            refuse(url);
            return;
        }
        const quint64 generation = m_generation;
        m_fetch = std::make_unique<HelpPageFetch>(
            url, *address, m_limits.http,
            [this, generation, url, redirects](const HelpPageFetch::Result& result) {
                if (generation == m_generation)
                    fetched(url, redirects, result);
            });
    }

    void fetched(const QUrl& url, int redirects, const HelpPageFetch::Result& result) {
        if (!result.ok) {
            fail(text(u"无法显示此页"),
                 result.error.isEmpty() ? failureText(result.failure) : result.error);
            return;
        }
        const bool redirect = result.status == 301 || result.status == 302 ||
                              result.status == 303 || result.status == 307 || result.status == 308;
        if (redirect && !result.location.isEmpty()) {
            const QUrl target = url.resolved(QUrl::fromEncoded(result.location));
            m_fetch.reset();
            if (redirects >= m_limits.redirects)
                fail(text(u"无法显示此页"), text(u"重定向次数过多"));
            else if (url.scheme() == u"https" && target.scheme() != u"https")
                fail(text(u"无法打开此地址"), text(u"不从加密页面转到未加密的地址"));
            else
                go(target, redirects + 1);
            return;
        }
        if (result.status < 200 || result.status > 299) {
            fail(text(u"无法显示此页"), text(u"服务器回答 %1").arg(result.status));
            return;
        }
        drop();
        // Redirects may have moved it: links resolve against where it is.
        m_url = url;
        showPageText(*m_view, pageTextOf(result, m_limits.text));
    }

    const TextHelpLimits m_limits;
    // The receiver of every connection: they end with this browser, before its
    // view (which its parent deletes later).
    QObject m_context;
    ResourcelessView* m_view; // owned by its parent widget
    QTimer m_deadline;
    std::unique_ptr<HelpPageFetch> m_fetch;
    int m_lookup = -1;
    quint64 m_generation = 0;
    QUrl m_site;
    QUrl m_url;
};

} // namespace

std::unique_ptr<WebBrowser> createTextHelpBrowser(QWidget* parent, const TextHelpLimits& limits) {
    return std::make_unique<TextHelpBrowser>(parent, limits);
}

WebBrowserFactory helpBrowserFactory(bool root, WebBrowserFactory engine) {
    if (root || !engine)
        return [](QWidget* parent) { return createTextHelpBrowser(parent); };
    return engine;
}

} // namespace orvane::ui
