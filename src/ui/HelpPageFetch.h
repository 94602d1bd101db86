#pragma once

#include "core/HttpResponse.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QTcpSocket;

namespace orvane::ui {

// One GET of one page, from the address already chosen for its host: the
// connection goes there and nowhere else (no second lookup that could give
// another answer), https checking the certificate against the host's name.
// The response is read through HttpResponse's bounds. No redirect is
// followed here; the caller decides about those.
class HelpPageFetch {
public:
    struct Result {
        bool ok = false;
        int status = 0;
        QByteArray location;
        QByteArray contentType;
        QByteArray body;
        HttpResponse::Failure failure = HttpResponse::Failure::None;
        QString error; // the connection's own error, when it failed
    };
    using Done = std::function<void(const Result&)>;

    // Starts at once; done is called once, later, from the event loop, and
    // never after this object is gone.
    HelpPageFetch(const QUrl& url, const QHostAddress& address, HttpLimits limits, Done done);
    ~HelpPageFetch();
    HelpPageFetch(const HelpPageFetch&) = delete;
    HelpPageFetch& operator=(const HelpPageFetch&) = delete;

private:
    void send();
    void read();
    void finish(Result result);
    void stop();

    QUrl m_url;
    HttpResponse m_response;
    Done m_done;
    QObject m_context;
    QTcpSocket* m_socket; // deleted later, never inside its own signal
    bool m_finished = false;
};

} // namespace orvane::ui
