// The support page as root sees it: the plain text view, against a small web
// server of the test's own on loopback.
#include "ui/TextHelpBrowser.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>

using orvane::ui::createTextHelpBrowser;

namespace {

// Answers GET requests from a fixed set of pages, and keeps every path asked.
class PageServer : public QObject {
public:
    QMap<QByteArray, QByteArray> pages;
    QList<QByteArray> asked;
    // Promises a longer body than it sends and keeps the connection open.
    bool promiseMore = false;

    PageServer() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    m_requests[socket] += socket->readAll();
                    if (!m_requests[socket].contains("\r\n\r\n"))
                        return;
                    const QByteArray path = m_requests[socket].split(' ').value(1);
                    asked.append(path);
                    const bool found = pages.contains(path);
                    const QByteArray body = found ? pages.value(path) : "not here";
                    const qsizetype promised = body.size() + (promiseMore ? 1000000 : 0);
                    socket->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                                  QByteArray("Content-Type: text/html; charset=utf-8\r\n"
                                             "Connection: close\r\nContent-Length: ") +
                                  QByteArray::number(promised) + "\r\n\r\n" + body);
                    if (!promiseMore)
                        socket->disconnectFromHost();
                });
            }
        });
    }
    QUrl url(const char* path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                        .arg(m_server.serverPort())
                        .arg(QLatin1String(path)));
    }

private:
    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_requests;
};

} // namespace

class TextHelpBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void rootGetsTheTextViewAndOthersTheEngine() {
        bool engineMade = false;
        const orvane::WebBrowserFactory engine = [&](QWidget* parent) {
            engineMade = true;
            return createTextHelpBrowser(parent);
        };
        QWidget parent;
        orvane::ui::helpBrowserFactory(true, engine)(&parent);
        QVERIFY(!engineMade);
        orvane::ui::helpBrowserFactory(false, engine)(&parent);
        QVERIFY(engineMade);
        // A build without the engine shows everybody the text view.
        QVERIFY(orvane::ui::helpBrowserFactory(false, {})(&parent));
    }

    void showsThePageAndFollowsItsLinksInsideTheBox() {
        PageServer server;
        server.pages["/page"] = "<html><head><title>Support</title>"
                                "<script>document.write('SCRIPT RAN')</script></head><body>"
                                "<p>First page \xe6\x94\xaf\xe6\x8c\x81</p>"
                                "<img src=\"file:///etc/hostname\"><img src=\"/picture.png\">"
                                "<a href=\"next\">next</a> <a href=\"file:///etc/passwd\">local</a>"
                                "</body></html>";
        server.pages["/next"] = "<p>Second page</p>";
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        QVERIFY(view);
        browser->Navigate(server.url("/page"));
        QTRY_VERIFY_WITH_TIMEOUT(
            view->toPlainText().contains(QString::fromUtf16(u"First page 支持")), 10000);
        QVERIFY(!view->toPlainText().contains(QStringLiteral("SCRIPT RAN")));
        // No resource was fetched, from the network or from this machine.
        QCOMPARE(server.asked, QList<QByteArray>{"/page"});
        QVERIFY(view->document()
                    ->resource(QTextDocument::ImageResource,
                               QUrl(QStringLiteral("file:///etc/hostname")))
                    .isNull());

        emit view->anchorClicked(QUrl(QStringLiteral("next")));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QStringLiteral("Second page")),
                                 10000);
        QCOMPARE(server.asked, (QList<QByteArray>{"/page", "/next"}));

        // A link to a file of this machine is not opened.
        emit view->anchorClicked(QUrl(QStringLiteral("file:///etc/passwd")));
        QVERIFY(!view->toPlainText().contains(QStringLiteral("root:")));
        QVERIFY(view->toPlainText().contains(QString::fromUtf16(u"无法打开此地址")));
        QCOMPARE(server.asked.size(), 2);
    }

    void aPageThatCannotBeHadSaysSo() {
        PageServer server;
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/missing"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QString::fromUtf16(u"无法显示此页")),
                                 10000);
    }

    void aPageOverTheLimitIsNeverHeldWhole() {
        PageServer server;
        // More than the limit, with more promised and the connection held
        // open: the view must give up as soon as the limit is passed.
        server.pages["/big"] = QByteArray("x").repeated(orvane::ui::kTextPageLimit + 10);
        server.promiseMore = true;
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/big"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QString::fromUtf16(u"页面过大")),
                                 10000);
        QVERIFY(!view->toPlainText().contains(QStringLiteral("xxxx")));
        // A page asked for next shows as usual.
        server.pages["/small"] = "<p>Small page</p>";
        server.promiseMore = false;
        browser->Navigate(server.url("/small"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QStringLiteral("Small page")), 10000);
    }
};

QTEST_MAIN(TextHelpBrowserTest)
#include "TextHelpBrowserTest.moc"
