#include "ui/HelpPageFetch.h"

#include <QSslSocket>
#include <QTimer>

namespace orvane::ui {

namespace {

// What Qt may hold of the connection before we read it.
constexpr qint64 kSocketBuffer = 64 * 1024;

QByteArray requestFor(const QUrl& url) {
    QByteArray target = url.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (url.hasQuery())
        target += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int defaultPort = url.scheme() == u"https" ? 443 : 80;
    if (url.port(defaultPort) != defaultPort)
        host += ':' + QByteArray::number(url.port());
    // Identity only: a compressed body would pass the bound and grow after.
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nUser-Agent: Orvane\r\nAccept: text/html, text/plain;q=0.9\r\n"
           "Accept-Encoding: identity\r\nConnection: close\r\n\r\n";
}

} // namespace

HelpPageFetch::HelpPageFetch(const QUrl& url, const QHostAddress& address, HttpLimits limits,
                             Done done)
    : m_url(url), m_response(limits), m_done(std::move(done)) {
    const bool secure = url.scheme() == u"https";
    const quint16 port = quint16(url.port(secure ? 443 : 80));
    if (secure) {
        auto* socket = new QSslSocket;
        m_socket = socket;
        QObject::connect(socket, &QSslSocket::encrypted, &m_context, [this] { send(); });
    } else {
        m_socket = new QTcpSocket;
        QObject::connect(m_socket, &QTcpSocket::connected, &m_context, [this] { send(); });
    }
    m_socket->setReadBufferSize(kSocketBuffer);
    QObject::connect(m_socket, &QTcpSocket::readyRead, &m_context, [this] { read(); });
    QObject::connect(m_socket, &QTcpSocket::disconnected, &m_context, [this] {
        read();
        if (m_finished)
            return;
        m_response.closed();
        Result result;
        result.failure = m_response.failure();
        finish(std::move(result));
    });
    QObject::connect(m_socket, &QTcpSocket::errorOccurred, &m_context,
                     [this](QAbstractSocket::SocketError error) {
                         // The server's close after the whole answer is no error.
                         if (error == QAbstractSocket::RemoteHostClosedError)
                             return;
                         Result result;
                         result.error = m_socket->errorString();
                         finish(std::move(result));
                     });
    if (secure) {
        if (!QSslSocket::supportsSsl()) {
            Result result;
            result.error = QStringLiteral("TLS is not available");
            finish(std::move(result));
            return;
        }
        // The address is the one checked; the name is what the certificate
        // must be for.
        static_cast<QSslSocket*>(m_socket)->connectToHostEncrypted(address.toString(), port,
                                                                   url.host());
    } else {
        m_socket->connectToHost(address, port);
    }
}

HelpPageFetch::~HelpPageFetch() {
    stop();
}

void HelpPageFetch::stop() {
    if (!m_socket)
        return;
    m_socket->disconnect(&m_context);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void HelpPageFetch::send() {
    m_socket->write(requestFor(m_url));
}

void HelpPageFetch::read() {
    if (m_finished || !m_socket)
        return;
    while (m_socket->bytesAvailable() > 0 && m_response.state() == HttpResponse::State::Reading)
        m_response.feed(m_socket->read(kSocketBuffer));
    if (m_response.state() == HttpResponse::State::Reading)
        return;
    Result result;
    result.failure = m_response.failure();
    finish(std::move(result));
}

void HelpPageFetch::finish(Result result) {
    if (m_finished)
        return;
    m_finished = true;
    if (m_response.state() == HttpResponse::State::Done && result.error.isEmpty()) {
        result.ok = true;
        result.status = m_response.status();
        result.location = m_response.field("location");
        result.contentType = m_response.field("content-type");
        result.body = m_response.body();
    }
    stop();
    // From the event loop, and with what it needs of its own, so that the
    // caller may delete this at once, even from inside done.
    QTimer::singleShot(0, &m_context,
                       [done = m_done, result = std::move(result)] { done(result); });
}

} // namespace orvane::ui
