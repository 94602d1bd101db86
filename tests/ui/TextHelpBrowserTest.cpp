// The support page as root sees it: the plain text view, against a small web
// server of the test's own on loopback.
#include "ui/TextHelpBrowser.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QTimer>

using orvane::ui::createTextHelpBrowser;

namespace {

// Answers GET requests from a fixed set of pages, and keeps every path asked.
class PageServer : public QObject {
public:
    QMap<QByteArray, QByteArray> pages;
    // Whole responses, status line and fields included, sent as they stand.
    QMap<QByteArray, QByteArray> raw;
    QList<QByteArray> asked;
    // Promises a longer body than it sends and keeps the connection open.
    bool promiseMore = false;
    // Sends header fields without end, or one byte at a time, slowly.
    bool endlessFields = false;
    bool trickle = false;

    PageServer() {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket] { answer(socket); });
            }
        });
    }
    QUrl url(const char* path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                        .arg(m_server.serverPort())
                        .arg(QLatin1String(path)));
    }
    // Streams were cut by the client, as it gave up.
    int cut = 0;

private:
    void answer(QTcpSocket* socket) {
        m_requests[socket] += socket->readAll();
        if (!m_requests[socket].contains("\r\n\r\n") || m_answered.contains(socket))
            return;
        m_answered.insert(socket);
        const QByteArray path = m_requests[socket].split(' ').value(1);
        asked.append(path);
        if (endlessFields || trickle) {
            socket->write("HTTP/1.1 200 OK\r\n");
            auto* timer = new QTimer(socket);
            QObject::connect(timer, &QTimer::timeout, socket, [this, socket, timer] {
                if (socket->state() != QAbstractSocket::ConnectedState) {
                    timer->stop();
                    ++cut;
                    return;
                }
                socket->write(endlessFields ? QByteArray("X-More: ").append(1000, 'x') + "\r\n"
                                            : QByteArray("X"));
            });
            timer->start(trickle ? 50 : 0);
            return;
        }
        if (raw.contains(path)) {
            socket->write(raw.value(path));
            socket->disconnectFromHost();
            return;
        }
        const bool found = pages.contains(path);
        const QByteArray body = found ? pages.value(path) : "not here";
        const qsizetype promised = body.size() + (promiseMore ? 1000000 : 0);
        socket->write((found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n") +
                      QByteArray("Content-Type: text/html; charset=utf-8\r\n"
                                 "Connection: close\r\nContent-Length: ") +
                      QByteArray::number(promised) + "\r\n\r\n" + body);
        if (!promiseMore)
            socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_requests;
    QSet<QTcpSocket*> m_answered;
};

QByteArray redirectTo(const QString& target) {
    return "HTTP/1.1 302 Found\r\nLocation: " + target.toUtf8() +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

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

    void aPageNestedThousandsDeepShowsFlat() {
        // What killed root's program in the rich-text layout: 3,000 nested
        // tables, and 100,000 unclosed blocks.
        PageServer server;
        server.pages["/deep"] = QByteArray("<table><tr><td>").repeated(3000) + "innermost" +
                                QByteArray("</td></tr></table>").repeated(3000);
        server.pages["/open"] =
            "<p>start" + QByteArray("<div><blockquote><ul><li>").repeated(100000);
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/deep"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QStringLiteral("innermost")), 10000);
        QCOMPARE(view->document()->rootFrame()->childFrames().size(), 0);
        QVERIFY(view->document()->blockCount() < 5);
        browser->Navigate(server.url("/open"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().startsWith(QStringLiteral("start")), 10000);
        QVERIFY(view->document()->blockCount() <= orvane::PageTextLimits().paragraphs + 1);
    }

    void redirectsStayOnTheSiteOrGoToPublicAddresses() {
        PageServer site;
        PageServer inside; // a service of this machine, on another port
        site.pages["/page"] = "<p>The page</p>";
        site.raw["/within"] = redirectTo(QStringLiteral("/page"));
        site.raw["/reboot"] = redirectTo(inside.url("/admin?do=reboot").toString());
        site.raw["/named"] = redirectTo(inside.url("/admin").toString().replace(
            QStringLiteral("127.0.0.1"), QStringLiteral("localhost")));
        site.raw["/metadata"] = redirectTo(QStringLiteral("http://169.254.169.254/latest/"));
        site.raw["/private"] = redirectTo(QStringLiteral("http://10.1.2.3/"));
        site.raw["/mapped"] =
            redirectTo(QStringLiteral("http://[::ffff:127.0.0.1]:%1/").arg(inside.url("/").port()));
        site.raw["/loop"] = redirectTo(QStringLiteral("/loop"));
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        const QString refused = QString::fromUtf16(u"不打开指向本机或内部网络的地址");

        browser->Navigate(site.url("/within"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QStringLiteral("The page")), 10000);
        for (const char* path : {"/reboot", "/named", "/metadata", "/private", "/mapped"}) {
            view->clear();
            browser->Navigate(site.url(path));
            QTRY_VERIFY2_WITH_TIMEOUT(view->toPlainText().contains(refused),
                                      qPrintable(path + (": " + view->toPlainText())), 10000);
        }
        QCOMPARE(inside.asked, QList<QByteArray>());
        browser->Navigate(site.url("/loop"));
        QTRY_VERIFY_WITH_TIMEOUT(
            view->toPlainText().contains(QString::fromUtf16(u"重定向次数过多")), 10000);
    }

    void linksToThisMachineAreNotFollowed() {
        PageServer site;
        PageServer inside;
        site.pages["/page"] = "<p>The page</p>";
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(site.url("/page"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QStringLiteral("The page")), 10000);
        emit view->anchorClicked(inside.url("/admin?do=reboot"));
        QTRY_VERIFY_WITH_TIMEOUT(
            view->toPlainText().contains(QString::fromUtf16(u"不打开指向本机或内部网络的地址")),
            10000);
        emit view->anchorClicked(QUrl(QStringLiteral("http://192.168.1.1/")));
        QVERIFY(view->toPlainText().contains(QStringLiteral("192.168.1.1")));
        QCOMPARE(inside.asked, QList<QByteArray>());
        QCOMPARE(site.asked, QList<QByteArray>{"/page"});
    }

    void endlessHeaderFieldsEndTheFetch() {
        PageServer server;
        server.endlessFields = true;
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/fields"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QString::fromUtf16(u"响应头过大")),
                                 10000);
        // The connection is closed, not left to stream.
        QTRY_COMPARE_WITH_TIMEOUT(server.cut, 1, 10000);
    }

    void aPageThatNeverEndsEndsAtTheDeadline() {
        PageServer server;
        server.trickle = true;
        QWidget parent;
        orvane::ui::TextHelpLimits limits;
        limits.deadline = std::chrono::milliseconds(1500);
        const auto browser = createTextHelpBrowser(&parent, limits);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/slow"));
        QTRY_VERIFY_WITH_TIMEOUT(
            view->toPlainText().contains(QString::fromUtf16(u"页面未能在时限内载入")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(server.cut, 1, 10000);
    }

    void theServersCharacterSetIsUsed() {
        PageServer server;
        // "支持" in GBK, with the character set named only by the server.
        server.raw["/gbk"] = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=GBK\r\n"
                             "Content-Length: 11\r\n\r\n<p>\xd6\xa7\xb3\xd6</p>";
        server.raw["/plain"] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n<b>as is</b>";
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/gbk"));
        QTRY_COMPARE_WITH_TIMEOUT(view->toPlainText(), QString::fromUtf16(u"支持"), 10000);
        browser->Navigate(server.url("/plain"));
        QTRY_COMPARE_WITH_TIMEOUT(view->toPlainText(), QStringLiteral("<b>as is</b>"), 10000);
    }

    void aPageOfOneLongLineShowsInPieces() {
        // One 4 MB line kept the layout busy for seconds: the view gets it
        // cut short and in pieces, so no block is long to lay out.
        PageServer server;
        server.pages["/long"] = QByteArray(4000000, 'y');
        QWidget parent;
        const auto browser = createTextHelpBrowser(&parent);
        auto* view = qobject_cast<QTextBrowser*>(browser->widget());
        browser->Navigate(server.url("/long"));
        QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().startsWith(QStringLiteral("yyyy")), 10000);
        const orvane::PageTextLimits limits;
        QVERIFY(view->document()->characterCount() <= limits.characters + 200);
        for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next())
            QVERIFY(block.length() <= limits.paragraphLength + 1);
        QVERIFY(view->toPlainText().endsWith(QString::fromUtf16(u"（页面过长，其余部分未显示）")));
    }
};

QTEST_MAIN(TextHelpBrowserTest)
#include "TextHelpBrowserTest.moc"
