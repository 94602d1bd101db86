#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>

namespace orvane {

// An HTTP/1.1 response read as it arrives, within fixed bounds: the status
// line and header fields together, and the body (after any chunked
// encoding), each have a size past which the response is refused at once,
// however the server spreads it. Nothing grows beyond those bounds.
struct HttpLimits {
    qsizetype header = 64 * 1024;
    qsizetype body = qsizetype(4) << 20;
};

class HttpResponse {
public:
    enum class State { Reading, Done, Failed };
    enum class Failure { None, HeaderTooLarge, BodyTooLarge, Malformed, Truncated };

    explicit HttpResponse(HttpLimits limits = {}) : m_limits(limits) {}

    // Takes the next bytes from the connection.
    State feed(QByteArrayView data);
    // The connection was closed by the server.
    State closed();

    State state() const { return m_state; }
    Failure failure() const { return m_failure; }
    int status() const { return m_status; }
    // The first field of that name (compared without case), trimmed.
    QByteArray field(QByteArrayView name) const;
    const QByteArray& body() const { return m_body; }

private:
    enum class Phase { Head, Length, ChunkSize, ChunkData, ChunkEnd, Trailer, UntilClose };

    State fail(Failure failure);
    State done();
    bool parseHead(QByteArrayView head);
    State startBody();
    State feedBody(QByteArrayView data);
    bool appendBody(QByteArrayView data);
    // The next line of a chunked body's framing, once whole.
    bool takeLine(QByteArrayView& data, QByteArray& line);

    HttpLimits m_limits;
    State m_state = State::Reading;
    Failure m_failure = Failure::None;
    Phase m_phase = Phase::Head;
    QByteArray m_head;
    qsizetype m_headBytes = 0;
    int m_status = 0;
    QList<QPair<QByteArray, QByteArray>> m_fields;
    QByteArray m_body;
    qint64 m_remaining = 0;
    QByteArray m_line;
};

} // namespace orvane
